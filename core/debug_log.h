#pragma once
#include <string>
#include <string_view>

namespace qf {

// $QUILLFIND_DEBUG_LOG when set (tests), else /tmp/quillfind-debug.log.
std::string debugLogPath();
// Appends "<ms since 1970>ms <message>\n" to the debug log; never fails visibly.
void dbg(std::string_view message);

}  // namespace qf
