#pragma once
// The index service answers every search; the window starts it when none is
// running, without waiting for it.
#include <QString>

namespace qf {

// The service executable: beside the program or in the installed helpers'
// folder, else on the PATH.
QString indexServiceExecutable(const QString& programDir);
// Starts the service detached when none runs. Returns whether one runs or
// was started; never blocks on the service itself.
bool ensureIndexService(const QString& programDir);

}  // namespace qf
