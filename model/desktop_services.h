#pragma once
// Everything the program asks of the desktop session goes through this
// interface, so tests can substitute a recording fake. The real
// implementation lives in actions/.
#include <string>

namespace qf {

class DesktopServices {
public:
    virtual ~DesktopServices() = default;
    // Opens a file or folder with the desktop's default handler.
    virtual void openItem(const std::string& path) = 0;
};

}  // namespace qf
