#pragma once
// Starts a program with an argument list (never through a shell) and waits
// for it.
#include <string>
#include <vector>

#include "model/desktop_services.h"

namespace qf {

// The child inherits the standard streams and the environment. exitStatus is
// the exit code, or the signal number when the child was killed.
ProgramResult runProgramAndWait(const std::string& program, const std::vector<std::string>& args);

}  // namespace qf
