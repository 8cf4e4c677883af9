#pragma once
#include <string>
#include <string_view>

#include "index/client/fold_mode.h"

namespace qf::index {

// The form of a UTF-8 name in which comparisons under `mode` become plain
// byte comparisons. Always canonically composed, so canonically equivalent
// names fold alike. Ignoring case also folds compatibility forms (ﬁ, Ａ);
// ignoring diacritics drops every non-spacing mark after decomposition.
// Bytes that are not valid UTF-8 become U+FFFD.
std::string foldName(std::string_view utf8, FoldMode mode = {});
// The same fold, always by ICU's normalisers: what foldName's shortcut for
// common letters must agree with.
std::string foldNameWithIcu(std::string_view utf8, FoldMode mode);

}  // namespace qf::index
