#pragma once
// Held while QApplication connects to the display. Qt reports a display it
// cannot reach with a few warnings and then a fatal message, which aborts
// the process (status 134, perhaps a core file). While the guard is held a
// fatal message ends the program instead with one line on standard error
// and status 1; the warnings before it are kept back and, when the start
// succeeds, passed on as usual.

#include <QtGlobal>

namespace qf {

class PlatformStartGuard {
public:
    PlatformStartGuard();
    ~PlatformStartGuard();
    PlatformStartGuard(const PlatformStartGuard&) = delete;
    PlatformStartGuard& operator=(const PlatformStartGuard&) = delete;

private:
    QtMessageHandler previous_;
};

}  // namespace qf
