#pragma once
// Whether the window has a display to open on, told from the environment
// alone, before any of Qt is loaded: without one, Qt ends the process with
// an abort and a paragraph about platform plugins.

#include <optional>
#include <string>

namespace qf {

struct DisplayEnvironment {
    const char* qpaPlatform = nullptr;     // QT_QPA_PLATFORM
    const char* x11Display = nullptr;      // DISPLAY
    const char* waylandDisplay = nullptr;  // WAYLAND_DISPLAY
};

DisplayEnvironment currentDisplayEnvironment();

// The one line to show when there is no display at all; nullopt when there
// is one, or when QT_QPA_PLATFORM names the platform explicitly (offscreen,
// a virtual frame buffer, a display of its own): that choice is the user's.
std::optional<std::string> missingDisplayMessage(const DisplayEnvironment& env);

}  // namespace qf
