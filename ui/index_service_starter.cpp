#include "ui/index_service_starter.h"

#include <QProcess>
#include <QStandardPaths>
#include <cstring>
#include <helper_programs.h>
#include <index_protocol.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "core/debug_log.h"

namespace qf {

bool indexServiceRunning() {
    const std::string path = protocol::socketPath();
    sockaddr_un address{};
    if (path.size() >= sizeof(address.sun_path)) return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return connected;
}

QString indexServiceExecutable(const QString& programDir) {
    const QString name = QString::fromLatin1(protocol::kServiceExecutable);
    const std::string found =
        protocol::findHelperProgram(protocol::kServiceExecutable, nullptr, programDir.toStdString());
    if (!found.empty()) return QString::fromStdString(found);
    return QStandardPaths::findExecutable(name);
}

bool ensureIndexService(const QString& programDir) {
    if (indexServiceRunning()) return true;
    const QString program = indexServiceExecutable(programDir);
    if (program.isEmpty()) {
        dbg("indexd missing");
        return false;
    }
    // The service takes a lock of its own, so a second copy started by a
    // second window in the same moment simply ends.
    QProcess service;
    service.setProgram(program);
    service.setArguments({QStringLiteral("--daemonize")});
    service.setStandardInputFile(QProcess::nullDevice());
    service.setStandardOutputFile(QProcess::nullDevice());
    service.setStandardErrorFile(QProcess::nullDevice());
    const bool started = service.startDetached();
    dbg(std::string("indexd start ok=") + (started ? "1" : "0"));
    return started;
}

}  // namespace qf
