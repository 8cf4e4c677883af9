#pragma once
// One window per user session: the first process claims the session-wide
// name; a later start asks it to bring its window to the front and ends.
// On the session bus when there is one, else (and for a window on an index
// folder of its own) through a local socket in the runtime folder.
#include <QObject>
#include <QString>
#include <memory>

#include "base/expected.h"

class QLocalServer;

namespace qf {

class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.quillfind.Quillfind")
public:
    static constexpr const char* kBusName = "org.quillfind.Quillfind";
    static constexpr const char* kObjectPath = "/org/quillfind/Quillfind";

    enum class Role { first, handedOver };

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // Claims the session for this process, or hands the start over to the
    // process that holds it. A process that can reach neither way runs on
    // its own (a window too many beats no window). Fails when something
    // not to be removed blocks the socket or lock path: every later start
    // would open a window of its own too.
    Expected<Role> claim();

public slots:
    // Called by a later start, with its activation token (may be empty).
    Q_SCRIPTABLE void Activate(const QString& activationToken);

signals:
    void activationRequested(const QString& activationToken);

private:
    bool claimOnBus(Role& role);
    Expected<Role> claimOnLocalSocket();
    QString socketName() const;

    std::unique_ptr<QLocalServer> server_;
};

// The token a desktop hands to a program it starts so that the program may
// take the focus: XDG_ACTIVATION_TOKEN (Wayland) or DESKTOP_STARTUP_ID (X11).
QString startupActivationToken();

}  // namespace qf
