#include "ui/row_menu_keys.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

#include "ui/results_view.h"

namespace qf {

bool isMenuKey(const QKeyEvent& event) {
    const Qt::KeyboardModifiers mods = event.modifiers() & ~Qt::KeypadModifier;
    if (event.key() == Qt::Key_Menu) return mods == Qt::NoModifier;
    return event.key() == Qt::Key_F10 && mods == Qt::ShiftModifier;
}

RowMenuKeys::RowMenuKeys(ResultsView* results, QWidget* window, QObject* parent)
    : QObject(parent), results_(results), window_(window) {
    QCoreApplication::instance()->installEventFilter(this);
}

RowMenuKeys::~RowMenuKeys() {
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
}

bool RowMenuKeys::eventFilter(QObject* watched, QEvent* event) {
    // Only the two menu requests are looked at: the filter also sees the
    // events a widget sends while it is being destroyed, when even asking
    // for its window is wrong.
    bool asked = false;
    if (event->type() == QEvent::KeyPress) {
        // The X11 and Wayland platforms turn the menu key into a keyboard
        // context-menu request of their own (below); Shift+F10 they leave.
        const auto* key = static_cast<QKeyEvent*>(event);
        asked = key->key() == Qt::Key_F10 && isMenuKey(*key);
    } else if (event->type() == QEvent::ContextMenu) {
        asked = static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard;
    }
    if (!asked || results_.isNull() || window_.isNull()) return false;
    // Widgets only: a key press passes once for the platform window too.
    // The request goes to the focus widget, or to the window itself when
    // none has the focus (as when the window is not the active one), and
    // climbs to the window when a control ignores it: the first stop decides.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != window_) return false;
    return results_->requestMenuForSelection();
}

}  // namespace qf
