#include "search_provider/provider_lifetime.h"

#include <QByteArray>
#include <cstdio>

namespace qf {

namespace {

constexpr std::chrono::seconds kDefaultIdle{60};
constexpr const char* kIdleVariable = "QUILLFIND_PROVIDER_IDLE_SECONDS";

}  // namespace

std::chrono::seconds providerIdlePeriod() {
    const QByteArray text = qgetenv(kIdleVariable);
    if (text.isEmpty()) return kDefaultIdle;
    bool ok = false;
    const int seconds = text.toInt(&ok);
    if (ok && seconds >= 1) return std::chrono::seconds(seconds);
    std::fprintf(stderr, "quillfind-search-provider: %s must be a whole number of seconds (1 or more); using %lld\n",
                 kIdleVariable, static_cast<long long>(kDefaultIdle.count()));
    return kDefaultIdle;
}

ProviderLifetime::ProviderLifetime(QDBusConnection bus, std::chrono::milliseconds idle, std::function<bool()> busy)
    : busy_(std::move(busy)) {
    // libdbus tells every connection that lost its bus with this signal, on
    // a path no peer can send on.
    bus.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"), QStringLiteral("org.freedesktop.DBus.Local"),
                QStringLiteral("Disconnected"), this, SLOT(disconnected()));
    idle_.setSingleShot(true);
    idle_.setInterval(idle);
    connect(&idle_, &QTimer::timeout, this, &ProviderLifetime::idleTimeout);
    idle_.start();
    // A bus that was gone before the signal could be heard.
    if (!bus.isConnected()) QMetaObject::invokeMethod(this, &ProviderLifetime::disconnected, Qt::QueuedConnection);
}

void ProviderLifetime::used() { idle_.start(); }

void ProviderLifetime::disconnected() { emit ended(QStringLiteral("the bus connection was lost")); }

void ProviderLifetime::idleTimeout() {
    if (busy_ && busy_()) {
        idle_.start();
        return;
    }
    emit ended(QString());
}

}  // namespace qf
