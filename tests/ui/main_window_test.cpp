// The window end to end with the real Model over a fake index command, its
// row menu, and Qt's own texts in Chinese.
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QToolButton>

#include "actions/file_actions.h"
#include "main_window_fixture.h"
#include "ui/fda_banner.h"
#include "ui/index_progress.h"
#include "ui/options_menu.h"
#include "ui/preview_column.h"
#include "ui/preview_pane.h"
#include "ui/row_menu.h"
#include "ui/search_bar.h"
#include "ui/spinner.h"
#include "ui/status_line.h"

namespace qf {
namespace {

using test::MainWindowTest;

TEST_F(MainWindowTest, StartsWithTheQueryFromTheEnvironmentThenTypingRunsOneDebouncedSearch) {
    test::ScopedEnv query("QUILLFIND_QUERY", "beta");
    auto w = makeWindow();
    EXPECT_TRUE(w->searchField()->hasFocus());
    EXPECT_EQ(w->searchField()->text(), QStringLiteral("beta"));
    ASSERT_TRUE(published(*w, 0));
    EXPECT_EQ(rowPath(*w, 0), betaFile.toStdString());

    w->searchField()->clear();
    QTest::keyClicks(w->searchField(), QStringLiteral("alpha"));
    ASSERT_TRUE(published(*w, 1));
    EXPECT_EQ(w->model().serial(), 2);
    EXPECT_EQ(rows(*w), 4);
    EXPECT_EQ(w->searchBar()->countLabel()->text(), QStringLiteral("4 项"));
    EXPECT_FALSE(w->searchBar()->progress()->isVisible());

    // Only Unicode white space counts as empty; a line break is typed text.
    for (const auto& [text, empty] :
         {std::pair{QStringLiteral("a"), false}, {"\u3000\t \u3000", true}, {"\n", false}}) {
        w->searchField()->clear();
        w->searchField()->insert(text);  // an edit, like typing
        EXPECT_EQ(w->statusLine()->hint() == hintText(""), empty) << text.toStdString();
    }

    for (QToolButton* button : {w->searchBar()->previewButton(), w->searchBar()->optionsButton()})
        EXPECT_FALSE(button->accessibleName().isEmpty() || button->toolTip().isEmpty());
}

// Results are incomplete while the index crawls and while folders it could
// not read wait for another try; the crawl's progress says more than that,
// and settings that cannot be used more still.
TEST_F(MainWindowTest, TheStatusLineSaysWhileTheIndexIsIncomplete) {
    auto w = makeWindow();
    const QString usual = w->statusLine()->source();
    const struct {
        bool crawling;
        long long entries, unlisted;
        QString source;
    } cases[] = {
        {true, 1200, 0, crawlProgressText(1200)}, {true, 1300, 4, crawlProgressText(1300)},
        {false, 1400, 4, incompleteIndexText(4)}, {false, 1500, 0, usual},
        {true, 1234, 0, crawlProgressText(1234)},
    };
    for (const auto& c : cases) {
        w->statusLine()->setIndexStatus(c.crawling, c.entries, c.unlisted);
        EXPECT_EQ(w->statusLine()->source(), c.source) << c.entries;
    }
    EXPECT_NE(incompleteIndexText(4), usual);

    // Settings that cannot be used are said before the crawl's progress, and
    // when they can be used again the progress shows once more.
    StatusLine* status = w->statusLine();
    for (bool held : {true, false}) {
        status->setSettingsFailure(QStringLiteral("'index.conf' cannot be used: larger than 1 MiB"), held);
        EXPECT_TRUE(status->source().contains(QStringLiteral("larger than 1 MiB"))) << status->source().toStdString();
        EXPECT_EQ(status->source().contains(QStringLiteral("修复前不建立索引")), held);
    }
    status->setSettingsFailure(QString(), false);
    EXPECT_EQ(status->source(), crawlProgressText(1234));
}

TEST_F(MainWindowTest, ReturnAndArrowsInTheFieldSelectAndOpenAsDoClicksInTheList) {
    auto w = searchedWindow();
    QTest::keyClick(w->searchField(), Qt::Key_Return);
    expectSelected(*w, 0);
    const std::tuple<Qt::Key, Qt::KeyboardModifiers, int> steps[] = {
        {Qt::Key_Down, Qt::NoModifier, 1}, {Qt::Key_Down, Qt::ShiftModifier, 2}, {Qt::Key_Down, Qt::NoModifier, 3},
        {Qt::Key_Up, Qt::NoModifier, 2},   {Qt::Key_Up, Qt::ControlModifier, 1}, {Qt::Key_Up, Qt::NoModifier, 0},
    };
    for (const auto& [key, modifiers, row] : steps) {
        QTest::keyClick(w->searchField(), key, modifiers);
        expectSelected(*w, row);
        EXPECT_TRUE(w->searchField()->hasFocus());
    }
    QTest::keyClick(w->searchField(), Qt::Key_Return);
    EXPECT_EQ(desktop.opened(), std::vector<std::string>{rowPath(*w, 0)});

    // From the list too, one step per key: the window's rule and the list's
    // own handling do not both move it.
    QWidget* viewport = w->resultsView()->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, w->resultsView()->rowRect(1).center());
    expectSelected(*w, 1);
    QTest::keyClick(w->resultsView(), Qt::Key_Down);
    expectSelected(*w, 2);
    // A double click as the window system delivers it: press, release,
    // double click, release. One click only selects.
    const QPoint where = w->resultsView()->rowRect(2).center();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, where);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, where);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, where);
    EXPECT_EQ(desktop.opened(), (std::vector<std::string>{rowPath(*w, 0), rowPath(*w, 2)}));
}

TEST_F(MainWindowTest, OptionsSwitchesStartNoRunAndAnExampleReplacesTheTextAndRunsOnce) {
    auto w = searchedWindow();
    w->model().setSelectedPath(rowPath(*w, 0));
    OptionsMenu* menu = w->searchBar()->optionsMenu();
    const auto serial = w->model().serial();
    const std::pair<QAction*, std::function<bool()>> switches[] = {
        {menu->caseSensitiveAction(), [&] { return w->model().caseSensitive(); }},
        {menu->regexModeAction(), [&] { return w->model().regexMode(); }},
    };
    for (const auto& [action, value] : switches) {
        const QString name = action->text().mid(3);
        action->trigger();
        EXPECT_TRUE(value());
        EXPECT_EQ(action->text(), QStringLiteral("✓ ") + name);
        action->trigger();
        EXPECT_FALSE(value());
        EXPECT_EQ(action->text(), QStringLiteral("\u3000  ") + name);
    }
    QTest::qWait(600);
    EXPECT_EQ(w->model().serial(), serial);

    menu->actions().value(4)->trigger();  // "*.docx"
    EXPECT_EQ(w->searchField()->text(), QStringLiteral("*.docx"));
    EXPECT_FALSE(w->model().selectedPath());
    EXPECT_EQ(w->model().serial(), serial);  // debounced like typing
    ASSERT_TRUE(published(*w, serial));
    EXPECT_EQ(w->model().serial(), serial + 1);
    // Every path is a candidate; none ends in .docx. The count is the
    // candidates', not the rows'.
    EXPECT_EQ(rows(*w), 0);
    EXPECT_EQ(w->searchBar()->countLabel()->text(), QStringLiteral("5 项"));
}

TEST_F(MainWindowTest, PreviewColumnFollowsTheSelectionAndItsSwitchIsStored) {
    auto w = searchedWindow();
    // Selected while the column is hidden: no preview is made.
    w->model().setSelectedPath(alphaNotes.toStdString());
    EXPECT_TRUE(w->findChildren<PreviewPane*>().isEmpty());
    QTest::mouseClick(w->searchBar()->previewButton(), Qt::LeftButton);
    EXPECT_EQ(w->searchBar()->previewButton()->accessibleName(), QStringLiteral("隐藏预览面板"));
    EXPECT_TRUE(QSettings(settingsFile, QSettings::IniFormat).value("showPreview").toBool());
    EXPECT_EQ(w->minimumWidth(), 1080);
    PreviewColumn* column = w->previewColumn();
    ASSERT_NE(column, nullptr);
    EXPECT_EQ(column->width(), 320);
    PreviewPane* first = column->pane();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->path(), alphaNotes.toStdString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return first->isLoaded(); }, 8000));
    auto* text = qobject_cast<QPlainTextEdit*>(first->contentWidget());
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->toPlainText().startsWith(QStringLiteral("alpha notes\nsecond line")));

    w->model().setSelectedPath(alphaFolder.toStdString());
    ASSERT_NE(column->pane(), nullptr);
    EXPECT_EQ(column->pane()->path(), alphaFolder.toStdString());
    EXPECT_EQ(column->findChildren<PreviewPane*>().size(), 1);
    // Typing clears the selection: the note comes back.
    QTest::keyClicks(w->searchField(), QStringLiteral("x"));
    EXPECT_TRUE(selectedRows(*w).empty());
    EXPECT_EQ(column->pane(), nullptr);
    EXPECT_TRUE(column->emptyState()->isVisible());

    // The next window starts with the stored switch.
    auto next = makeWindow();
    EXPECT_NE(next->previewColumn(), nullptr);
    EXPECT_EQ(next->minimumWidth(), 1080);
    QTest::mouseClick(next->searchBar()->previewButton(), Qt::LeftButton);
    EXPECT_EQ(next->previewColumn(), nullptr);
    EXPECT_EQ(next->minimumWidth(), 760);
    EXPECT_FALSE(QSettings(settingsFile, QSettings::IniFormat).value("showPreview").toBool());
}

TEST_F(MainWindowTest, RowMenuActsOnTheClickedRowNotTheSelectedOne) {
    auto w = searchedWindow();
    std::vector<std::string> asked;
    w->setRowMenuHandler([&](const Hit& hit, const QPoint&) { asked.push_back(hit.path()); });
    QWidget* viewport = w->resultsView()->viewport();

    w->model().setSelectedPath(rowPath(*w, 0));
    const QPoint row3 = w->resultsView()->rowRect(3).center();
    QTest::mousePress(viewport, Qt::RightButton, {}, row3);
    QTest::mouseRelease(viewport, Qt::RightButton, {}, row3);
    QContextMenuEvent onRow3(QContextMenuEvent::Mouse, row3, viewport->mapToGlobal(row3));
    QApplication::sendEvent(viewport, &onRow3);
    EXPECT_EQ(asked, std::vector<std::string>{rowPath(*w, 3)});
    expectSelected(*w, 0);
    // Its items, in order with the dividers, act on that row, not the
    // selected one.
    FileActions actions(w->model());
    QMenu menu;
    fillRowMenu(menu, actions, *w->resultsView()->tableModel().hitAt(3));
    QStringList titles;
    for (const QAction* a : menu.actions()) titles << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(titles.join(QLatin1Char('|')).toStdString(),
              "打开|打开所在文件夹|在 Finder 中显示|在终端中打开|显示简介|-|"
              "复制|剪切（移动到…）|拷贝副本|重命名…|移到废纸篓…|-|"
              "复制绝对路径|复制文件名|复制所在文件夹路径|-|"
              "压缩为 ZIP|计算 SHA256");
    menu.actions().value(titles.indexOf(QStringLiteral("复制文件名")))->trigger();
    EXPECT_EQ(desktop.clipboardText, w->resultsView()->tableModel().hitAt(3)->name());
    expectSelected(*w, 0);
    // Below the last row there is no row and no menu.
    const QPoint below(20, w->resultsView()->rowRect(rows(*w) - 1).bottom() + 30);
    QContextMenuEvent belowRows(QContextMenuEvent::Mouse, below, viewport->mapToGlobal(below));
    QApplication::sendEvent(viewport, &belowRows);
    EXPECT_EQ(asked.size(), 1u);
}

TEST_F(MainWindowTest, BannerShowsForARefusedProbeAndRechecks) {
    bool granted = false;
    auto w = makeWindow([&] { return granted; });
    EXPECT_TRUE(w->noFDA());  // checked when the window came on screen
    FdaBanner* banner = w->banner();
    ASSERT_TRUE(banner->isVisible());

    QTest::mouseClick(banner->settingsButton(), Qt::LeftButton);
    EXPECT_EQ(openedUrls, std::vector<QUrl>{QUrl(QStringLiteral(
                              "x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles"))});
    for (const bool grant : {false, true}) {
        granted = grant;
        QTest::mouseClick(banner->recheckButton(), Qt::LeftButton);
        EXPECT_EQ(w->noFDA(), !grant);
        EXPECT_EQ(banner->isVisible(), !grant);
    }
}

TEST(QtTexts, StandardButtonsAreChinese) {
    ASSERT_TRUE(useChineseThroughout(test::app())) << "qt6-translations-l10n is not installed";
    QDialogButtonBox box(QDialogButtonBox::Open | QDialogButtonBox::Cancel);
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text().remove(QStringLiteral("(&C)")), QStringLiteral("取消"));
}

}  // namespace
}  // namespace qf
