#include "protocol/build_info.h"

#include <QApplication>
#include <QIcon>
#include <QLineEdit>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "actions/file_actions.h"
#include "actions/linux_desktop_services.h"
#include "app/platform_start_guard.h"
#include "app/single_instance.h"
#include "model/model.h"
#include "ui/content_view.h"
#include "ui/index_progress.h"
#include "ui/index_service_starter.h"
#include "ui/main_window.h"
#include "ui/row_menu.h"
#include "ui/status_line.h"
#include "ui/translations.h"

namespace {

// Stress and simulate runs measure a window of their own, whatever else is
// open.
bool unattendedRun() {
    for (const char* name : {"QUILLFIND_STRESS", "QUILLFIND_SIMULATE"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

void bringToFront(QWidget& window, const QString& activationToken) {
    // Wayland compositors grant the focus to the bearer of a fresh token.
    if (!activationToken.isEmpty()) qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
    window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window.show();
    window.raise();
    window.activateWindow();
}

}  // namespace

// The window program, started by the quillfind command (app/main.cpp) with
// the command's own arguments and environment.
int main(int argc, char** argv) {  // NOLINT(bugprone-exception-escape): failing to allocate at start ends it anyway
    auto startGuard = std::make_optional<qf::PlatformStartGuard>();
    QApplication app(argc, argv);
    startGuard.reset();
    QApplication::setOrganizationName(QStringLiteral("quillfind"));
    QApplication::setApplicationName(QStringLiteral("quillfind"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quillfind"));
    QApplication::setApplicationVersion(QString::fromLatin1(qf::build::kVersion));
    // The desktop entry's name: it is the window's app id under Wayland and
    // its class under X11, so the desktop matches the window to the entry.
    QApplication::setDesktopFileName(QStringLiteral("org.quillfind.Quillfind"));
    // Sessions without a desktop environment name no icon theme; the
    // freedesktop default set is the closest to one.
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.quillfind.Quillfind")));
    qf::useChineseThroughout(app);

    qf::SingleInstance instance;
    if (!unattendedRun()) {
        auto role = instance.claim();
        if (!role) {
            std::fprintf(stderr, "quillfind: %s\n", role.error().message().c_str());
            return 1;
        }
        if (*role == qf::SingleInstance::Role::handedOver) return 0;
    }

    // Searches ask the index service. It is started, not waited for: while it
    // reads the disks for the first time, answers are simply incomplete.
    qf::ensureIndexService(QApplication::applicationDirPath());

    qf::LinuxDesktopServices desktop;
    qf::ContentView content(desktop);
    qf::MainWindow& window = content.window();
    qf::FileActions actions(content.model());
    window.setRowMenuHandler(
        [&actions](const qf::Hit& hit, const QPoint& globalPos) { qf::execRowMenu(actions, hit, globalPos); });
    QObject::connect(&instance, &qf::SingleInstance::activationRequested, &window, [&window](const QString& token) {
        bringToFront(window, token);
        window.searchField()->setFocus(Qt::ActiveWindowFocusReason);
    });
    qf::IndexProgress crawl;
    QObject::connect(&crawl, &qf::IndexProgress::statusChanged, window.statusLine(), &qf::StatusLine::setIndexStatus);
    QObject::connect(&crawl, &qf::IndexProgress::settingsChanged, window.statusLine(),
                     &qf::StatusLine::setSettingsFailure);
    crawl.start();
    window.show();
    return app.exec();
}
