#pragma once
// Starting the Quillfind window from the provider.
#include <string>

namespace qf {

// The window program: beside this one (the build folder), else in the
// bin folder two levels above it (installed under libexec/quillfind/).
// Empty when neither exists.
std::string windowProgram();

// Starts the window with the query as its initial query, detached from the
// provider; false when it could not be started.
bool launchWindow(const std::string& query);

}  // namespace qf
