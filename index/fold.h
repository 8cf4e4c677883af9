#pragma once
#include <string>
#include <string_view>

namespace qf::index {

// How two names are compared: the c and d modifiers of a name query.
struct FoldMode {
    bool ignoreCase = true;
    bool ignoreDiacritics = true;
    bool operator==(const FoldMode&) const = default;
};

// The form of a UTF-8 name in which comparisons under `mode` become plain
// byte comparisons. Always canonically composed, so canonically equivalent
// names fold alike. Ignoring case also folds compatibility forms (ﬁ, Ａ);
// ignoring diacritics drops every non-spacing mark after decomposition.
// Bytes that are not valid UTF-8 become U+FFFD.
std::string foldName(std::string_view utf8, FoldMode mode = {});

bool isAscii(std::string_view bytes);
bool isValidUtf8(std::string_view bytes);

}  // namespace qf::index
