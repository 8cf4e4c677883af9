// The window for keyboard and screen-reader users: what the sort headers
// tell a screen reader, the row menu from the menu keys wherever the focus
// is, and the kind column at its default width. What a screen reader reads
// of the whole window, the Tab order and a dialog cancelled from the row
// menu are the desktop accessibility test's (tests/desktop), through the
// accessibility bus and the keyboard themselves.
#include <QAccessible>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QToolButton>

#include "main_window_fixture.h"
#include "ui/header_row.h"
#include "ui/preview_column.h"
#include "ui/preview_pane.h"
#include "ui/row_delegate.h"
#include "ui/search_bar.h"
#include "ui/theme.h"

namespace qf {
namespace {

using test::MainWindowTest;

QAccessibleInterface* accessible(QObject* object) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    EXPECT_TRUE(iface) << object->metaObject()->className();
    return iface;
}

QString spoken(QObject* object, QAccessible::Text text = QAccessible::Name) {
    QAccessibleInterface* iface = accessible(object);
    return iface ? iface->text(text) : QString();
}

// The menu key as the X11 and Wayland platforms pass it on: a keyboard
// context-menu request to the window, which Qt routes to its focus widget,
// or to the window itself when nothing has the focus.
void pressMenuKey(QWidget& window) {
    QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(1, 1), window.mapToGlobal(QPoint(1, 1)));
    QGuiApplication::sendEvent(window.windowHandle(), &event);
}

// A header click sorts by its column, or reverses the order, and the arrow,
// the weight and the words a screen reader hears follow; the selection goes
// with its row. A query keeps the order the start-up list had: newest first.
TEST_F(MainWindowTest, HeaderClicksChangeTheOrderItsArrowAndItsWordsKeepingTheSelection) {
    auto w = searchedWindow();
    QAccessibleInterface* table = accessible(w->resultsView());
    HeaderRow* header = w->headerRow();
    w->model().setSelectedPath(alphaBig.toStdString());  // the largest file
    using M = ResultsTableModel;
    // The click (-1: none), the sorted column, its text and words, the
    // selected row (-1: not looked at).
    const std::tuple<int, int, QString, QString, int> steps[] = {
        {-1, M::modifiedColumn, "修改日期 ▼", "按修改日期降序排列", -1},
        {M::sizeColumn, M::sizeColumn, "大小 ▼", "按大小降序排列", 0},
        {M::sizeColumn, M::sizeColumn, "大小 ▲", "按大小升序排列", 3},
        {M::kindColumn, M::sizeColumn, "大小 ▲", "按大小升序排列", 3},  // the kind column does not sort
        {M::nameColumn, M::nameColumn, "名称 ▲", "按名称升序排列", -1},
    };
    for (const auto& [click, sorted, shown, words, selected] : steps) {
        // The last by Space: a sort button takes it as any button does.
        if (click == M::nameColumn)
            QTest::keyClick(header->cell(click), Qt::Key_Space);
        else if (click >= 0)
            QTest::mouseClick(header->cell(click), Qt::LeftButton);
        SCOPED_TRACE(words.toStdString());
        EXPECT_EQ(header->cell(sorted)->displayText(), shown);
        EXPECT_EQ(spoken(header->cell(sorted)), words);
        EXPECT_EQ(table->text(QAccessible::Description), words);
        for (int c = 0; c < 5; ++c) {
            const bool on = c == sorted;
            EXPECT_EQ(header->cell(c)->displayText().contains(QRegularExpression("[▲▼]")), on) << c;
            EXPECT_EQ(header->cell(c)->displayFont().weight(), on ? QFont::DemiBold : QFont::Normal) << c;
        }
        if (selected >= 0) {
            EXPECT_EQ(selectedRows(*w), std::vector<int>{selected});
        }
    }
    // The other cells say what a click does; the kind cell is a column
    // header that sorts nothing.
    EXPECT_EQ(spoken(header->cell(M::sizeColumn)), QStringLiteral("按大小排序"));
    EXPECT_EQ(spoken(header->cell(M::kindColumn)), QStringLiteral("类型"));
    EXPECT_EQ(accessible(header->cell(M::kindColumn))->role(), QAccessible::ColumnHeader);
    EXPECT_EQ(accessible(header->cell(M::nameColumn))->role(), QAccessible::Button);
}

TEST_F(MainWindowTest, MenuKeysOpenTheSelectedRowsMenuWhereverTheFocusIs) {
    auto w = searchedWindow();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&*w));
    w->setShowPreview(true);
    w->model().setSelectedPath(alphaNotes.toStdString());  // a text file: the preview has a text view
    PreviewPane* pane = w->previewColumn()->pane();
    ASSERT_TRUE(pane);
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane->isLoaded(); }, 8000));
    auto* previewText = qobject_cast<QPlainTextEdit*>(pane->contentWidget());
    ASSERT_TRUE(previewText);
    std::vector<std::string> asked;
    w->setRowMenuHandler([&](const Hit& hit, const QPoint&) { asked.push_back(hit.path()); });

    // Null: nothing in the window has the focus.
    const std::pair<const char*, QWidget*> places[] = {
        {"field", w->searchField()},
        {"results", w->resultsView()},
        {"preview button", w->searchBar()->previewButton()},
        {"options button", w->searchBar()->optionsButton()},
        {"sort button", w->headerRow()->cell(ResultsTableModel::sizeColumn)},
        {"preview text", previewText},
        {"nowhere", nullptr},
    };
    for (const auto& [where, focus] : places) {
        SCOPED_TRACE(where);
        if (focus) {
            focus->setFocus();
            ASSERT_EQ(QApplication::focusWidget(), focus);
        } else if (QWidget* focused = w->focusWidget()) {
            focused->clearFocus();
        }
        asked.clear();
        pressMenuKey(*w);
        QTest::keyClick(w->windowHandle(), Qt::Key_F10, Qt::ShiftModifier);
        QTest::keyClick(w->windowHandle(), Qt::Key_F10);  // not a menu key
        EXPECT_EQ(asked, std::vector<std::string>(2, alphaNotes.toStdString()));
        EXPECT_EQ(QApplication::focusWidget(), focus);
    }

    // Without a selected row the keys ask for nothing.
    w->model().setSelectedPath(std::nullopt);
    asked.clear();
    pressMenuKey(*w);
    QTest::keyClick(w->windowHandle(), Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_TRUE(asked.empty());
}

// The kinds of everyday files show whole at the column's default width, in
// the window's font, and the header cell stands above the column.
TEST_F(MainWindowTest, CommonKindsShowWholeAtTheDefaultWidth) {
    auto w = makeWindow();
    const int section = w->resultsView()->horizontalHeader()->sectionSize(ResultsTableModel::kindColumn);
    const int room = RowDelegate::contentRect(QRect(0, 0, section, 20), ResultsTableModel::kindColumn).width();
    EXPECT_EQ(w->headerRow()->cell(ResultsTableModel::kindColumn)->width(), room);
    const QFontMetrics metrics(theme::systemFont(11));
    for (const char* name : {"a.txt", "a.pdf", "a.doc", "a.docx", "a.xls", "a.xlsx", "a.ppt", "a.pptx", "a.odt",
                             "a.jpg", "a.png", "a.zip", "a.mp3", "a.mp4", "a.md", "a.html", "a.py"}) {
        const QString kind = QString::fromStdString(kindOf(name, false));
        EXPECT_EQ(metrics.elidedText(kind, Qt::ElideRight, room), kind) << name << " " << kind.toStdString();
    }
}

}  // namespace
}  // namespace qf
