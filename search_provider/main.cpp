// quillfind-search-provider: answers the desktop's own search (GNOME Shell's
// overview and KRunner) from the Quillfind index, on the session bus.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <cstdio>
#include <cstdlib>

#include "core/spotlight.h"
#include "search_provider/gnome_search_adaptor.h"
#include "search_provider/krunner_adaptor.h"
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

    // The first question should find the index service running: mdfind
    // starts it when none runs, and returns at once when one does.
    QProcess::startDetached(QString::fromStdString(qf::mdfindExecutable()), {QStringLiteral("--start-service")});
    return app.exec();
}
