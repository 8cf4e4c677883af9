#include <QApplication>
#include <QIcon>
#include <cstdlib>
#include <memory>

#include "actions/file_actions.h"
#include "actions/linux_desktop_services.h"
#include "core/dump.h"
#include "model/model.h"
#include "ui/index_service_starter.h"
#include "ui/main_window.h"
#include "ui/row_menu.h"

int main(int argc, char** argv) {
    if (qf::dumpModeSelected(std::getenv("QUILLFIND_DUMP"))) qf::dumpSync();

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("quillfind"));
    QApplication::setApplicationName(QStringLiteral("quillfind"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quillfind"));
    QApplication::setDesktopFileName(QStringLiteral("quillfind"));
    // Sessions without a desktop environment name no icon theme; the
    // freedesktop default set is the closest to one.
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));

    // Searches ask the index service. It is started, not waited for: while it
    // reads the disks for the first time, answers are simply incomplete.
    qf::ensureIndexService(QApplication::applicationDirPath());

    qf::LinuxDesktopServices desktop;
    qf::MainWindow window([&desktop] { return std::make_unique<qf::Model>(desktop); });
    qf::FileActions actions(window.model());
    window.setRowMenuHandler(
        [&actions](const qf::Hit& hit, const QPoint& globalPos) { qf::execRowMenu(actions, hit, globalPos); });
    window.show();
    return app.exec();
}
