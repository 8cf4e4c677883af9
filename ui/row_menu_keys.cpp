#include "ui/row_menu_keys.h"

#include <QContextMenuEvent>
#include <QKeyEvent>

#include "ui/results_view.h"

namespace qf {

bool isMenuKey(const QKeyEvent& event) {
    const Qt::KeyboardModifiers mods = event.modifiers() & ~Qt::KeypadModifier;
    if (event.key() == Qt::Key_Menu) return mods == Qt::NoModifier;
    return event.key() == Qt::Key_F10 && mods == Qt::ShiftModifier;
}

RowMenuKeys::RowMenuKeys(ResultsView* results, QObject* parent) : QObject(parent), results_(results) {}

void RowMenuKeys::watch(QObject* control) { control->installEventFilter(this); }

bool RowMenuKeys::eventFilter(QObject* watched, QEvent* event) {
    // The results are looked at only for the two menu requests: the filter
    // also sees the events a widget sends while it is being destroyed, when
    // the results may be half gone and even testing the pointer is wrong.
    bool asked = false;
    if (event->type() == QEvent::KeyPress) {
        // The X11 and Wayland platforms turn the menu key into a keyboard
        // context-menu request of their own (below); Shift+F10 they leave.
        const auto* key = static_cast<QKeyEvent*>(event);
        asked = key->key() == Qt::Key_F10 && isMenuKey(*key);
    } else if (event->type() == QEvent::ContextMenu) {
        asked = static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard;
    }
    if (asked && !results_.isNull() && results_->requestMenuForSelection()) return true;
    return QObject::eventFilter(watched, event);
}

}  // namespace qf
