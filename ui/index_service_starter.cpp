#include "ui/index_service_starter.h"

#include <QtConcurrent/QtConcurrentRun>

#include "base/index_service.h"
#include "core/debug_log.h"

namespace qf {

QString indexServiceExecutable(const QString& programDir) {
    return QString::fromStdString(findIndexServiceExecutable(programDir.toStdString()));
}

bool ensureIndexService(const QString& programDir) {
    if (indexServiceListening()) return true;
    const std::string program = findIndexServiceExecutable(programDir.toStdString());
    if (program.empty()) {
        dbg("indexd missing");
        return false;
    }
    // The start waits until the service listens, which includes reading its
    // snapshot: that wait belongs off the window's thread. The service takes
    // a lock of its own, so a second copy started by a second window in the
    // same moment simply ends.
    (void)QtConcurrent::run([program] {
        auto connection = connectOrStartIndexService(program, std::chrono::seconds(10));
        dbg(connection ? std::string("indexd start ok=1") : "indexd start ok=0 " + connection.error().message());
    });
    return true;
}

}  // namespace qf
