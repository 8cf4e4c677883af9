#include "ui/row_menu.h"

#include <QMenu>
#include <QPoint>

#include "actions/file_actions.h"
#include "actions/menu_items.h"

namespace qf {

void fillRowMenu(QMenu& menu, FileActions& actions, const Hit& hit) {
    for (const MenuItem& item : rowMenuItems()) {
        if (item.isDivider()) {
            menu.addSeparator();
            continue;
        }
        const QString title = QString::fromUtf8(item.title.data(), static_cast<qsizetype>(item.title.size()));
        QAction* action = menu.addAction(title);
        // QMenu closes itself before it emits triggered, so dialogs the
        // action opens do not stack on the menu.
        QObject::connect(action, &QAction::triggered, &menu,
                         [&actions, hit, run = item.action] { (actions.*run)(hit); });
    }
}

void execRowMenu(FileActions& actions, const Hit& hit, const QPoint& globalPos) {
    QMenu menu;
    fillRowMenu(menu, actions, hit);
    menu.exec(globalPos);
}

}  // namespace qf
