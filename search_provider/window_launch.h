#pragma once
// Finding Quillfind's other programs, and starting the window.
#include <string>

namespace qf {

// A program of Quillfind's: beside this one (the build folder), else in
// the bin folder two levels above it (this one installed under
// libexec/quillfind/). Empty when neither exists.
std::string siblingProgram(const std::string& name);

// Starts the window with the query as its initial query, detached from the
// provider; false when it could not be started.
bool launchWindow(const std::string& query);

}  // namespace qf
