#pragma once
#include <string_view>

namespace qf {

// True when the value of QUILLFIND_DUMP selects dump mode (exactly "1").
bool dumpModeSelected(const char* value);

// Runs one dump-mode search of query, writing the result lines and the
// summary line to fd. An empty query, or one without tokens, writes nothing.
void writeDump(std::string_view query, int fd);

// Headless one-shot search of $QUILLFIND_QUERY; ends the process with status 0.
[[noreturn]] void dumpSync();

}  // namespace qf
