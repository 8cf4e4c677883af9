#pragma once
// A bus-activated service's life: it ends when its bus connection is lost
// (nobody can call it any more) and after a while without calls (the bus
// starts it again on the next one), so nothing of it lingers in a session
// that no longer uses it.
#include <QDBusConnection>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

namespace qf {

// The idle period: QUILLFIND_PROVIDER_IDLE_SECONDS (whole seconds, at least
// one) when set, else a minute. A value that is no such number is reported
// on the error stream and the minute used.
std::chrono::seconds providerIdlePeriod();

class ProviderLifetime : public QObject {
    Q_OBJECT
public:
    // `busy` tells whether calls are still being answered; an idle period
    // that ends then starts again.
    ProviderLifetime(QDBusConnection bus, std::chrono::milliseconds idle, std::function<bool()> busy);

public slots:
    // A call came or an answer went: the idle period starts again.
    void used();

signals:
    // Time to go; `why` is one line for the error stream.
    void ended(const QString& why);

private slots:
    void disconnected();

private:
    void idleTimeout();

    std::function<bool()> busy_;
    QTimer idle_;
};

}  // namespace qf
