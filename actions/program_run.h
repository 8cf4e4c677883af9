#pragma once
// Starts a program with an argument list (never through a shell) and waits
// for it.
#include <string>
#include <vector>

#include "base/expected.h"

namespace qf {

// The child inherits the standard streams and the environment. The value is
// the exit status, or the signal number when a signal ended the child; a
// failure names the program.
Expected<int> runProgramAndWait(const std::string& program, const std::vector<std::string>& args);

}  // namespace qf
