#pragma once
#include <string>
#include <string_view>

namespace qf::index {

// `text` made safe to show on a terminal or in one log line: control
// characters (C0, DEL and C1) and bytes that are not UTF-8 are written as
// \n, \r, \t, \xNN or \u00NN escapes; everything else is kept as it is.
std::string escapeControls(std::string_view text);

}  // namespace qf::index
