#include "actions/file_manager_bus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QStringList>
#include <QUrl>

namespace qf {

namespace {
// Activating a file manager that is not yet running can take a while.
constexpr int kCallTimeoutMs = 10000;
}  // namespace

Expected<void> callFileManager(const char* method, const std::string& path) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return Error(Errc::unavailable, bus.lastError().message().toStdString());
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                                       "org.freedesktop.FileManager1", QString::fromLatin1(method));
    const QString uri = QString::fromLatin1(QUrl::fromLocalFile(QFile::decodeName(path.c_str())).toEncoded());
    call << QStringList{uri} << QString();
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) return Error(Errc::unavailable, reply.errorMessage().toStdString());
    return {};
}

}  // namespace qf
