#pragma once

namespace qf {

// Headless one-shot search of $QUILLFIND_QUERY; ends the process with status 0.
[[noreturn]] void dumpSync();

}  // namespace qf
