#include "app/platform_start_guard.h"

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace qf {

namespace {

struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};

// The handler is a plain function, so what it holds lives here; only the
// main thread constructs the application.
std::vector<HeldMessage>& heldMessages() {
    static std::vector<HeldMessage> held;
    return held;
}

QByteArray environmentValue(const char* name) {
    const QByteArray value = qgetenv(name);
    return value.isEmpty() ? QByteArrayLiteral("(unset)") : value;
}

void holdOrFail(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg) {
        heldMessages().push_back({type, QByteArray(context.category ? context.category : ""), text});
        return;
    }
    std::fprintf(stderr,
                 "quillfind: cannot open the window: no display answers (DISPLAY=%s, WAYLAND_DISPLAY=%s, "
                 "QT_QPA_PLATFORM=%s)\n",
                 environmentValue("DISPLAY").constData(), environmentValue("WAYLAND_DISPLAY").constData(),
                 environmentValue("QT_QPA_PLATFORM").constData());
    std::fflush(stderr);
    std::_Exit(1);
}

}  // namespace

PlatformStartGuard::PlatformStartGuard() : previous_(qInstallMessageHandler(holdOrFail)) {}

PlatformStartGuard::~PlatformStartGuard() {
    qInstallMessageHandler(previous_);
    std::vector<HeldMessage> held;
    held.swap(heldMessages());
    for (const HeldMessage& message : held) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
        qt_message_output(message.type, context, message.text);
    }
}

}  // namespace qf
