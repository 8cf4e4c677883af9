// Stands in for the windowed program in the tests of the unattended modes: a
// Model on a running event loop, which the stress task must end by itself;
// otherwise the helper quits after the time given as its argument and writes
// HELPER_END.
#include <unistd.h>
#include <QCoreApplication>
#include <QTimer>
#include <cstdlib>

#include "model/desktop_services.h"
#include "model/model.h"

struct NoDesktop : qf::DesktopServices {
    void openItem(const std::string&) override {}
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    NoDesktop desktop;
    qf::Model model(desktop);
    model.start();
    QTimer::singleShot(argc > 1 ? std::atoi(argv[1]) : 10000, &app, &QCoreApplication::quit);
    const int status = app.exec();
    static const char end[] = "HELPER_END\n";
    (void)!::write(STDERR_FILENO, end, sizeof end - 1);
    return status;
}
