#pragma once
// Starting the window.
#include <string>

namespace qf {

// Starts the window with the query as its initial query, detached from the
// provider; false when it could not be started.
bool launchWindow(const std::string& query);

}  // namespace qf
