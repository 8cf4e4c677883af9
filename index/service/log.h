#pragma once
#include <string_view>

namespace qf::index {

// One line on the service's standard error (its log file once daemonized),
// prefixed with the local time. Written with a single write so lines from
// several threads never interleave.
void logLine(std::string_view message);

}  // namespace qf::index
