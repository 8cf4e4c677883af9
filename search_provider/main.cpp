// quillfind-search-provider: answers the desktop's own search (GNOME Shell's
// overview and KRunner) from the Quillfind index, on the session bus.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <cstdio>

#include "search_provider/gnome_search_adaptor.h"
#include "search_provider/krunner_adaptor.h"
#include "search_provider/provider_lifetime.h"
#include "search_provider/provider_object.h"
#include "search_provider/session_desktop.h"
#include "search_provider/window_launch.h"

namespace {

int fail(const QString& message) {
    std::fprintf(stderr, "quillfind-search-provider: %s\n", qPrintable(message));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::chrono::seconds idle = qf::providerIdlePeriod();

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return fail(QStringLiteral("no session bus: ") + bus.lastError().message());

    qf::SessionDesktop desktop;
    qf::ProviderObject provider(desktop, qf::launchWindow);
    new qf::GnomeSearchAdaptor(&provider);
    new qf::KrunnerAdaptor(&provider);
    if (!bus.registerObject(QString::fromLatin1(qf::kProviderObjectPath), &provider))
        return fail(QStringLiteral("cannot export the object: ") + bus.lastError().message());
    if (!bus.registerService(QString::fromLatin1(qf::kProviderBusName)))
        return fail(QStringLiteral("the bus name %1 is taken or refused: %2")
                        .arg(QString::fromLatin1(qf::kProviderBusName), bus.lastError().message()));

    qf::ProviderLifetime lifetime(bus, idle, [&provider] { return provider.busy(); });
    QObject::connect(&provider, &qf::ProviderObject::used, &lifetime, &qf::ProviderLifetime::used);
    QObject::connect(&lifetime, &qf::ProviderLifetime::ended, &app, [&](const QString& why) {
        if (!why.isEmpty()) std::fprintf(stderr, "quillfind-search-provider: %s; ending\n", qPrintable(why));
        // Idle: the name goes first, so that the bus starts a new provider
        // for the next call instead of handing it to this one as it ends.
        if (bus.isConnected()) bus.unregisterService(QString::fromLatin1(qf::kProviderBusName));
        app.quit();
    });
    // The index service is reached, and started when none runs, by the
    // first search: a provider started for nothing starts nothing.
    return app.exec();
}
