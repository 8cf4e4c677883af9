#include "app/display_check.h"

#include <cstdlib>

namespace qf {

namespace {

bool isSet(const char* value) { return value && *value; }

}  // namespace

DisplayEnvironment currentDisplayEnvironment() {
    return {std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY")};
}

std::optional<std::string> missingDisplayMessage(const DisplayEnvironment& env) {
    if (isSet(env.qpaPlatform) || isSet(env.x11Display) || isSet(env.waylandDisplay)) return std::nullopt;
    return "quillfind: no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set); "
           "QUILLFIND_DUMP=1 searches without one";
}

}  // namespace qf
