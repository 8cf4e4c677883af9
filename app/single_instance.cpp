#include "app/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <cerrno>

#include "app/stale_path.h"
#include "base/unique_fd.h"
#include "core/debug_log.h"
#include "protocol/index_protocol.h"

namespace qf {

namespace {

constexpr int kHandOverTimeoutMs = 3000;

// The claim's lock, held while it lasts; an invalid descriptor when another
// start held it for longer than the hand-over may take.
Expected<UniqueFd> lockClaim(const std::string& path) {
    if (auto cleared = clearStalePath(path, S_IFREG, "window's lock file"); !cleared) return std::move(cleared).error();
    UniqueFd lock(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!lock) return Error::lastErrno("cannot open the window's lock file " + printablePath(path));
    QElapsedTimer waited;
    waited.start();
    while (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) return Error::lastErrno("cannot lock " + printablePath(path));
        if (waited.elapsed() > kHandOverTimeoutMs) return UniqueFd();
        ::usleep(20 * 1000);
    }
    return lock;
}

}  // namespace

QString startupActivationToken() {
    for (const char* name : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"}) {
        QString token = qEnvironmentVariable(name);
        if (!token.isEmpty()) return token;
    }
    return {};
}

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance() = default;

Expected<SingleInstance::Role> SingleInstance::claim() {
    // A window on an index of its own (QUILLFIND_INDEX_DIR: tests, the
    // screenshot script) is a world of its own: it meets only the windows on
    // the same index, through that index's folder, never the user's window.
    Role role = Role::first;
    if (qEnvironmentVariableIsEmpty(protocol::kEnvIndexDir) && claimOnBus(role)) return role;
    return claimOnLocalSocket();
}

void SingleInstance::Activate(const QString& activationToken) {
    dbg("instance activate");
    emit activationRequested(activationToken);
}

bool SingleInstance::claimOnBus(Role& role) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    // The object is there before the name, so a start that finds the name
    // can always call it.
    if (!bus.registerObject(QString::fromLatin1(kObjectPath), this, QDBusConnection::ExportScriptableSlots))
        return false;
    const auto reply =
        bus.interface()->registerService(QString::fromLatin1(kBusName), QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        dbg("instance claimed via=dbus");
        role = Role::first;
        return true;
    }
    bus.unregisterObject(QString::fromLatin1(kObjectPath));
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(kBusName), QString::fromLatin1(kObjectPath),
                                       QString::fromLatin1("org.quillfind.Quillfind"), QStringLiteral("Activate"));
    call << startupActivationToken();
    const QDBusMessage answer = bus.call(call, QDBus::Block, kHandOverTimeoutMs);
    if (answer.type() == QDBusMessage::ReplyMessage) {
        dbg("instance handed over via=dbus");
        role = Role::handedOver;
        return true;
    }
    // The holder of the name does not answer: run on our own.
    dbg("instance unanswered via=dbus");
    role = Role::first;
    return true;
}

QString SingleInstance::socketName() const {
    return QString::fromStdString(protocol::runtimeDirectory()) + QStringLiteral("/window.sock");
}

Expected<SingleInstance::Role> SingleInstance::claimOnLocalSocket() {
    const QString name = socketName();
    const QString folder = QFileInfo(name).absolutePath();
    if (!QDir().mkpath(folder)) {
        return Error(Errc::unavailable, "cannot make the folder " +
                                            printablePath(QFile::encodeName(folder).toStdString()) +
                                            " for the window's socket");
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Two starts in the same moment: the lock orders "is one there?" and
    // "then I am it", so the second never removes the first one's socket.
    auto lock = lockClaim(QFile::encodeName(folder).toStdString() + "/window.lock");
    if (!lock) return std::move(lock).error();
    if (!lock->valid()) return Role::first;  // held too long by a start that hangs
    const std::string socketPath = QFile::encodeName(name).toStdString();
    if (auto cleared = clearStalePath(socketPath, S_IFSOCK, "window's socket"); !cleared)
        return std::move(cleared).error();

    QLocalSocket peer;
    peer.connectToServer(name);
    if (peer.waitForConnected(kHandOverTimeoutMs)) {
        peer.write(startupActivationToken().toUtf8() + '\n');
        // The holder answers with one byte once it has taken the request.
        if (peer.waitForBytesWritten(kHandOverTimeoutMs) && peer.waitForReadyRead(kHandOverTimeoutMs)) {
            dbg("instance handed over via=socket");
            return Role::handedOver;
        }
        dbg("instance unanswered via=socket");
        return Role::first;
    }
    QLocalServer::removeServer(name);  // left by a process that ended abruptly
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name)) {
        server_.reset();
        return Role::first;
    }
    connect(server_.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server_->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (!client->canReadLine()) return;
                const QString token = QString::fromUtf8(client->readLine(512)).trimmed();
                client->write("1");
                client->flush();
                Activate(token);
            });
        }
    });
    dbg("instance claimed via=socket");
    return Role::first;
}

}  // namespace qf
