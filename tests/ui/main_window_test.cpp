// The window end to end with the real Model over a fake index command.
#include <gtest/gtest.h>

#include <QAction>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "ui/fda_banner.h"
#include "ui/header_row.h"
#include "ui/main_window.h"
#include "ui/options_menu.h"
#include "ui/preview_column.h"
#include "ui/preview_pane.h"
#include "ui/results_table_model.h"
#include "ui/results_view.h"
#include "ui/search_bar.h"
#include "ui/spinner.h"
#include "ui/status_line.h"
#include "ui_test_support.h"

namespace qf {
namespace {

constexpr int kWait = 8000;  // ms; runs finish in well under a second

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::app();
        // Sizes differ so that sorting by size has one right order.
        alphaNotes = box.writeFile(QStringLiteral("tree/alpha notes.txt"), "alpha notes\nsecond line\n");
        alphaData = box.writeFile(QStringLiteral("tree/alpha-data.csv"), QByteArray(3000, 'x'));
        alphaFolder = box.makeFolder(QStringLiteral("tree/Alpha folder"));
        betaFile = box.writeFile(QStringLiteral("tree/beta.md"), QByteArray(200, 'b'));
        alphaBig = box.writeFile(QStringLiteral("tree/sub/alpha big.log"), QByteArray(50000, 'l'));
        test::isolateEnvironment(box, {alphaNotes, alphaData, alphaFolder, betaFile, alphaBig});
        settingsFile = box.path(QStringLiteral("settings.ini"));
    }

    std::unique_ptr<MainWindow> makeWindow(std::function<bool()> access = [] { return true; }) {
        MainWindowOptions options;
        options.settingsFile = settingsFile;
        options.hasFullDiskAccess = std::move(access);
        options.openUrl = [this](const QUrl& url) { openedUrls.push_back(url); };
        auto window = std::make_unique<MainWindow>([this] { return std::make_unique<Model>(desktop); },
                                                   std::move(options));
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return window;
    }

    // Waits until the start-up run (or any run) has published.
    static void waitForIdle(MainWindow& w) {
        QTest::qWait(20);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !w.model().gathering() && w.model().serial() > 0; }, kWait));
    }

    static void typeQuery(MainWindow& w, const QString& text) {
        w.searchField()->setFocus();
        QTest::keyClicks(w.searchField(), text);
    }

    // Types and waits for the debounced run to publish.
    static void search(MainWindow& w, const QString& text) {
        const auto before = w.model().serial();
        typeQuery(w, text);
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.model().serial() > before && !w.model().gathering(); }, kWait));
    }

    static int rows(MainWindow& w) { return w.resultsView()->tableModel().rowCount(); }
    static std::string rowPath(MainWindow& w, int row) {
        return w.resultsView()->tableModel().index(row, 0).data(ResultsTableModel::PathRole).toString().toStdString();
    }
    static std::vector<int> selectedRows(MainWindow& w) {
        std::vector<int> out;
        for (const QModelIndex& i : w.resultsView()->selectionModel()->selectedRows()) out.push_back(i.row());
        return out;
    }

    test::Sandbox box;
    test::RecordingDesktop desktop;
    std::vector<QUrl> openedUrls;
    QString settingsFile;
    QString alphaNotes, alphaData, alphaFolder, betaFile, alphaBig;
};

TEST_F(MainWindowTest, WindowTitleAndStartingState) {
    auto w = makeWindow();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Quillfind"));
    EXPECT_TRUE(w->searchField()->hasFocus());
    EXPECT_EQ(w->searchField()->placeholderText(),
              QStringLiteral("搜索文件或文件夹（空格 = 与，* ? 通配，.后缀过滤，含 / 取末段）"));
    EXPECT_EQ(w->searchBar()->previewButton()->toolTip(), QStringLiteral("显示/隐藏预览面板"));
    EXPECT_EQ(w->statusLine()->source(), QStringLiteral("索引：Spotlight 自动增量"));
    waitForIdle(*w);
    // The start-up run lists recent items, newest first.
    EXPECT_EQ(rows(*w), 5);
    EXPECT_EQ(w->model().sortKey(), SortKey::date);
    EXPECT_EQ(w->headerRow()->cell(ResultsTableModel::modifiedColumn)->displayText(), QStringLiteral("修改日期 ▼"));
}

TEST_F(MainWindowTest, TypingRunsOneDebouncedSearchAndShowsTheRows) {
    auto w = makeWindow();
    waitForIdle(*w);
    const auto before = w->model().serial();
    typeQuery(*w, QStringLiteral("alpha"));
    EXPECT_EQ(w->model().text(), "alpha");
    // Nothing runs while the keys come in.
    EXPECT_EQ(w->model().serial(), before);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->model().serial() > before && !w->model().gathering(); }, kWait));
    QTest::qWait(600);  // a second run would have started by now
    EXPECT_EQ(w->model().serial(), before + 1);
    EXPECT_EQ(rows(*w), 4);
    std::set<std::string> shown;
    for (int r = 0; r < rows(*w); ++r) shown.insert(rowPath(*w, r));
    EXPECT_EQ(shown, (std::set<std::string>{alphaNotes.toStdString(), alphaData.toStdString(),
                                            alphaFolder.toStdString(), alphaBig.toStdString()}));
    EXPECT_EQ(w->searchBar()->countLabel()->text(), QStringLiteral("4 项"));
    EXPECT_FALSE(w->searchBar()->progress()->isVisible());
}

TEST_F(MainWindowTest, ReturnSelectsTheFirstRowThenOpensIt) {
    auto w = makeWindow();
    waitForIdle(*w);
    search(*w, QStringLiteral("alpha"));
    ASSERT_GT(rows(*w), 0);
    EXPECT_FALSE(w->model().selectedPath());

    QTest::keyClick(w->searchField(), Qt::Key_Return);
    ASSERT_TRUE(w->model().selectedPath());
    EXPECT_EQ(*w->model().selectedPath(), rowPath(*w, 0));
    EXPECT_EQ(selectedRows(*w), std::vector<int>{0});
    EXPECT_TRUE(desktop.opened.empty());

    QTest::keyClick(w->searchField(), Qt::Key_Return);
    EXPECT_EQ(desktop.opened, std::vector<std::string>{rowPath(*w, 0)});
    EXPECT_EQ(w->searchField()->text(), QStringLiteral("alpha"));
}

TEST_F(MainWindowTest, ArrowsMoveTheSelectionWhileTheFieldHasFocus) {
    auto w = makeWindow();
    waitForIdle(*w);
    search(*w, QStringLiteral("alpha"));
    ASSERT_EQ(rows(*w), 4);

    // Without a selection the arrows reach the field: nothing is selected.
    QTest::keyClick(w->searchField(), Qt::Key_Down);
    EXPECT_FALSE(w->model().selectedPath());

    QTest::keyClick(w->searchField(), Qt::Key_Return);
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int row;
    } steps[] = {
        {Qt::Key_Down, Qt::NoModifier, 1}, {Qt::Key_Down, Qt::ShiftModifier, 2}, {Qt::Key_Down, Qt::NoModifier, 3},
        {Qt::Key_Down, Qt::NoModifier, 3},  // no wrap-around at the end
        {Qt::Key_Up, Qt::NoModifier, 2},   {Qt::Key_Up, Qt::ControlModifier, 1}, {Qt::Key_Up, Qt::NoModifier, 0},
        {Qt::Key_Up, Qt::NoModifier, 0},
    };
    for (const auto& step : steps) {
        QTest::keyClick(w->searchField(), step.key, step.modifiers);
        ASSERT_TRUE(w->model().selectedPath());
        EXPECT_EQ(*w->model().selectedPath(), rowPath(*w, step.row));
        EXPECT_EQ(selectedRows(*w), std::vector<int>{step.row});
        EXPECT_TRUE(w->searchField()->hasFocus());
        EXPECT_EQ(w->searchField()->text(), QStringLiteral("alpha"));
    }
}

TEST_F(MainWindowTest, ArrowsWorkFromTheResultsListToo) {
    auto w = makeWindow();
    waitForIdle(*w);
    search(*w, QStringLiteral("alpha"));
    QTest::mouseClick(w->resultsView()->viewport(), Qt::LeftButton, {}, w->resultsView()->rowRect(1).center());
    ASSERT_TRUE(w->model().selectedPath());
    EXPECT_EQ(*w->model().selectedPath(), rowPath(*w, 1));
    QTest::keyClick(w->resultsView(), Qt::Key_Down);
    // One step, not two: the window's rule and the list do not both move it.
    EXPECT_EQ(*w->model().selectedPath(), rowPath(*w, 2));
}

TEST_F(MainWindowTest, TypingClearsTheSelection) {
    auto w = makeWindow();
    waitForIdle(*w);
    search(*w, QStringLiteral("alpha"));
    QTest::keyClick(w->searchField(), Qt::Key_Return);
    ASSERT_TRUE(w->model().selectedPath());
    QTest::keyClick(w->searchField(), Qt::Key_Backspace);
    EXPECT_FALSE(w->model().selectedPath());
    EXPECT_TRUE(selectedRows(*w).empty());
}

TEST_F(MainWindowTest, HeaderClicksChangeTheArrowAndTheOrder) {
    auto w = makeWindow();
    waitForIdle(*w);
    search(*w, QStringLiteral("alpha"));
    HeaderRow* header = w->headerRow();
    auto cellTexts = [&] {
        std::vector<std::string> out;
        for (int c = 0; c < 5; ++c) out.push_back(header->cell(c)->displayText().toStdString());
        return out;
    };
    auto sizesInRowOrder = [&] {
        std::vector<std::int64_t> out;
        for (int r = 0; r < rows(*w); ++r) out.push_back(w->resultsView()->tableModel().hitAt(r)->size());
        return out;
    };
    // A query keeps the order the start-up list had: newest first.
    EXPECT_EQ(cellTexts(), (std::vector<std::string>{"名称", "类型", "大小", "创建日期", "修改日期 ▼"}));
    QTest::mouseClick(header->cell(ResultsTableModel::nameColumn), Qt::LeftButton);
    EXPECT_EQ(cellTexts(), (std::vector<std::string>{"名称 ▲", "类型", "大小", "创建日期", "修改日期"}));
    EXPECT_TRUE(header->cell(0)->isActive());

    QTest::mouseClick(header->cell(ResultsTableModel::sizeColumn), Qt::LeftButton);
    EXPECT_EQ(cellTexts(), (std::vector<std::string>{"名称", "类型", "大小 ▼", "创建日期", "修改日期"}));
    EXPECT_TRUE(header->cell(2)->isActive());
    EXPECT_FALSE(header->cell(0)->isActive());
    EXPECT_EQ(header->cell(2)->displayFont().weight(), QFont::DemiBold);
    EXPECT_EQ(header->cell(0)->displayFont().weight(), QFont::Normal);
    // Folders (-1) last when descending; the largest file first.
    EXPECT_EQ(sizesInRowOrder(), (std::vector<std::int64_t>{50000, 3000, 24, -1}));

    QTest::mouseClick(header->cell(ResultsTableModel::sizeColumn), Qt::LeftButton);
    EXPECT_EQ(cellTexts()[2], "大小 ▲");
    EXPECT_EQ(sizesInRowOrder(), (std::vector<std::int64_t>{-1, 24, 3000, 50000}));

    // The kind column does not sort.
    QTest::mouseClick(header->cell(ResultsTableModel::kindColumn), Qt::LeftButton);
    EXPECT_EQ(w->model().sortKey(), SortKey::size);
    EXPECT_EQ(cellTexts()[1], "类型");
    EXPECT_EQ(cellTexts()[2], "大小 ▲");
}

TEST_F(MainWindowTest, SelectionSurvivesResorting) {
    auto w = makeWindow();
    waitForIdle(*w);
    search(*w, QStringLiteral("alpha"));
    w->model().setSelectedPath(alphaBig.toStdString());
    QTest::mouseClick(w->headerRow()->cell(ResultsTableModel::sizeColumn), Qt::LeftButton);
    const int row = w->resultsView()->tableModel().rowOfPath(alphaBig.toStdString());
    EXPECT_EQ(selectedRows(*w), std::vector<int>{row});
    EXPECT_EQ(*w->model().selectedPath(), alphaBig.toStdString());
}

TEST_F(MainWindowTest, OptionsMenuSwitchLabelsFlipWithoutARun) {
    auto w = makeWindow();
    waitForIdle(*w);
    OptionsMenu* menu = w->searchBar()->optionsMenu();
    const auto serial = w->model().serial();
    struct Switch {
        QAction* action;
        std::function<bool()> value;
        QString name;
    } switches[] = {
        {menu->caseSensitiveAction(), [&] { return w->model().caseSensitive(); }, QStringLiteral("区分大小写")},
        {menu->regexModeAction(), [&] { return w->model().regexMode(); }, QStringLiteral("正则表达式")},
    };
    for (auto& s : switches) {
        EXPECT_EQ(s.action->text(), QStringLiteral("\u3000  ") + s.name);
        s.action->trigger();
        EXPECT_TRUE(s.value());
        emit menu->aboutToShow();
        EXPECT_EQ(s.action->text(), QStringLiteral("✓ ") + s.name);
        s.action->trigger();
        EXPECT_FALSE(s.value());
        EXPECT_EQ(s.action->text(), QStringLiteral("\u3000  ") + s.name);
    }
    QTest::qWait(600);
    EXPECT_EQ(w->model().serial(), serial);
}

TEST_F(MainWindowTest, OptionsMenuItemsInOrderWithDisabledSyntaxLines) {
    auto w = makeWindow();
    const QList<QAction*> actions = w->searchBar()->optionsMenu()->actions();
    const std::vector<std::pair<QString, bool>> expected{
        {QStringLiteral("\u3000  区分大小写"), true}, {QStringLiteral("\u3000  正则表达式"), true}, {{}, true},
        {QStringLiteral("*.pdf"), true}, {QStringLiteral("*.docx"), true}, {QStringLiteral("*.xlsx"), true}, {{}, true},
        {QStringLiteral("语法：空格 = 与（同时包含）"), false}, {QStringLiteral("语法：\"词组\" = 精确短语"), false},
        {QStringLiteral("语法：* ? = 通配符"), false}, {QStringLiteral("语法：.jpg .md = 按后缀过滤"), false},
        {QStringLiteral("语法：输入含 / 时按末段文件名查找"), false},
    };
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const QAction* a = actions[static_cast<qsizetype>(i)];
        if (expected[i].first.isEmpty()) {
            EXPECT_TRUE(a->isSeparator()) << i;
            continue;
        }
        EXPECT_EQ(a->text(), expected[i].first) << i;
        EXPECT_EQ(a->isEnabled(), expected[i].second) << i;
    }
}

TEST_F(MainWindowTest, ExampleItemReplacesTheTextClearsTheSelectionAndRunsOnce) {
    auto w = makeWindow();
    waitForIdle(*w);
    search(*w, QStringLiteral("alpha"));
    QTest::keyClick(w->searchField(), Qt::Key_Return);
    ASSERT_TRUE(w->model().selectedPath());
    const auto serial = w->model().serial();

    QAction* docx = nullptr;
    for (QAction* a : w->searchBar()->optionsMenu()->actions())
        if (a->text() == QStringLiteral("*.docx")) docx = a;
    ASSERT_NE(docx, nullptr);
    docx->trigger();
    EXPECT_EQ(w->searchField()->text(), QStringLiteral("*.docx"));
    EXPECT_EQ(w->model().text(), "*.docx");
    EXPECT_FALSE(w->model().selectedPath());
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->model().serial() > serial && !w->model().gathering(); }, kWait));
    QTest::qWait(600);
    EXPECT_EQ(w->model().serial(), serial + 1);
    // Every path is a candidate; none ends in .docx. The count is the
    // candidates', not the rows'.
    EXPECT_EQ(rows(*w), 0);
    EXPECT_EQ(w->model().total(), 5);
    EXPECT_EQ(w->searchBar()->countLabel()->text(), QStringLiteral("5 项"));
}

TEST_F(MainWindowTest, StatusHintFollowsTheText) {
    auto w = makeWindow();
    const QString emptyHint = QStringLiteral("最近 24 小时修改 · 输入关键词搜索全部文件 · 回车高亮，再按打开");
    const QString syntaxHint =
        QStringLiteral("空格 = 与 · .jpg = 后缀 · \"词组\" = 精确 · 含 / 取末段 · 回车高亮，再按打开 · ↑↓ 选择");
    const std::pair<QString, QString> cases[] = {
        {QString(), emptyHint},
        {QStringLiteral("   "), emptyHint},
        {QStringLiteral("\u3000\t \u3000"), emptyHint},
        {QStringLiteral("a"), syntaxHint},
        {QStringLiteral("  report  "), syntaxHint},
        {QStringLiteral("\n"), syntaxHint},  // line breaks are not trimmed
    };
    for (const auto& [text, hint] : cases) {
        w->searchField()->clear();
        w->searchField()->insert(text);  // an edit, like typing
        EXPECT_EQ(w->statusLine()->hint(), hint) << text.toStdString();
        EXPECT_EQ(hintText(text.toStdString()), hint);
    }
}

TEST_F(MainWindowTest, PreviewToggleIsPersistedAndSetsTheMinimumWidth) {
    {
        auto w = makeWindow();
        EXPECT_FALSE(w->showPreview());
        EXPECT_EQ(w->minimumWidth(), 760);
        EXPECT_EQ(w->minimumHeight(), 480);
        EXPECT_EQ(w->previewColumn(), nullptr);

        QTest::mouseClick(w->searchBar()->previewButton(), Qt::LeftButton);
        EXPECT_TRUE(w->showPreview());
        EXPECT_EQ(w->minimumWidth(), 1080);
        EXPECT_GE(w->width(), 1080);
        ASSERT_NE(w->previewColumn(), nullptr);
        EXPECT_EQ(w->previewColumn()->width(), 320);
        EXPECT_TRUE(w->previewColumn()->emptyState()->isVisible());
        EXPECT_TRUE(QSettings(settingsFile, QSettings::IniFormat).value("showPreview").toBool());
    }
    {
        auto w = makeWindow();
        EXPECT_TRUE(w->showPreview());
        EXPECT_EQ(w->minimumWidth(), 1080);
        ASSERT_NE(w->previewColumn(), nullptr);
        QTest::mouseClick(w->searchBar()->previewButton(), Qt::LeftButton);
        EXPECT_FALSE(w->showPreview());
        EXPECT_EQ(w->minimumWidth(), 760);
        EXPECT_EQ(w->previewColumn(), nullptr);
        EXPECT_FALSE(QSettings(settingsFile, QSettings::IniFormat).value("showPreview").toBool());
    }
}

TEST_F(MainWindowTest, PreviewFollowsTheSelection) {
    auto w = makeWindow();
    waitForIdle(*w);
    search(*w, QStringLiteral("alpha"));
    // Selected while the column is hidden: no preview is made.
    w->model().setSelectedPath(alphaNotes.toStdString());
    EXPECT_EQ(w->findChildren<PreviewPane*>().size(), 0);

    w->setShowPreview(true);
    PreviewColumn* column = w->previewColumn();
    ASSERT_NE(column, nullptr);
    PreviewPane* first = column->pane();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->path(), alphaNotes.toStdString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return first->isLoaded(); }, kWait));
    auto* text = qobject_cast<QPlainTextEdit*>(first->contentWidget());
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->toPlainText().startsWith(QStringLiteral("alpha notes\nsecond line")));

    w->model().setSelectedPath(alphaFolder.toStdString());
    PreviewPane* second = column->pane();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->path(), alphaFolder.toStdString());
    EXPECT_EQ(column->findChildren<PreviewPane*>().size(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return second->isLoaded(); }, kWait));
    EXPECT_EQ(second->kind(), PreviewContent::Kind::folder);

    // Typing clears the selection: the note comes back.
    QTest::keyClicks(w->searchField(), QStringLiteral("x"));
    EXPECT_EQ(column->pane(), nullptr);
    EXPECT_TRUE(column->emptyState()->isVisible());
}

TEST_F(MainWindowTest, DoubleClickOpensTheRow) {
    auto w = makeWindow();
    waitForIdle(*w);
    search(*w, QStringLiteral("alpha"));
    const QPoint where = w->resultsView()->rowRect(2).center();
    QWidget* viewport = w->resultsView()->viewport();
    // As the window system delivers it: press, release, double click, release.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, where);
    EXPECT_TRUE(desktop.opened.empty());  // one click only selects
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, where);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, where);
    EXPECT_EQ(desktop.opened, std::vector<std::string>{rowPath(*w, 2)});
}

TEST_F(MainWindowTest, RowMenuHookGetsTheClickedRowWithoutSelectingIt) {
    auto w = makeWindow();
    waitForIdle(*w);
    search(*w, QStringLiteral("alpha"));
    w->model().setSelectedPath(rowPath(*w, 0));
    std::vector<std::string> asked;
    w->setRowMenuHandler([&](const Hit& hit, const QPoint&) { asked.push_back(hit.path()); });

    QWidget* viewport = w->resultsView()->viewport();
    const QPoint where = w->resultsView()->rowRect(3).center();
    QTest::mousePress(viewport, Qt::RightButton, {}, where);
    QTest::mouseRelease(viewport, Qt::RightButton, {}, where);
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, where, viewport->mapToGlobal(where));
    QApplication::sendEvent(viewport, &menuEvent);

    EXPECT_EQ(asked, std::vector<std::string>{rowPath(*w, 3)});
    EXPECT_EQ(*w->model().selectedPath(), rowPath(*w, 0));
    EXPECT_EQ(selectedRows(*w), std::vector<int>{0});

    // Below the last row there is no row and no menu.
    const QPoint empty(20, w->resultsView()->rowRect(rows(*w) - 1).bottom() + 30);
    QContextMenuEvent outside(QContextMenuEvent::Mouse, empty, viewport->mapToGlobal(empty));
    QApplication::sendEvent(viewport, &outside);
    EXPECT_EQ(asked.size(), 1u);

    // The menu key opens it for the selected row.
    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(5, 5), viewport->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(viewport, &key);
    EXPECT_EQ(asked, (std::vector<std::string>{rowPath(*w, 3), rowPath(*w, 0)}));
}

TEST_F(MainWindowTest, BannerShowsForARefusedProbeAndRechecks) {
    bool granted = false;
    int checks = 0;
    auto w = makeWindow([&] {
        ++checks;
        return granted;
    });
    EXPECT_EQ(checks, 1);  // once, when the window came on screen
    EXPECT_TRUE(w->noFDA());
    FdaBanner* banner = w->banner();
    ASSERT_TRUE(banner->isVisible());
    EXPECT_EQ(banner->recheckButton()->text(), QStringLiteral("重新检测"));
    EXPECT_EQ(banner->recheckButton()->toolTip(), QStringLiteral("在系统设置里勾选本应用后点这里，无需重启"));
    EXPECT_EQ(banner->settingsButton()->text(), QStringLiteral("打开系统设置"));

    QTest::mouseClick(banner->settingsButton(), Qt::LeftButton);
    ASSERT_EQ(openedUrls.size(), 1u);
    EXPECT_EQ(openedUrls[0].toString(),
              QStringLiteral("x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles"));

    // Still refused: the banner stays.
    QTest::mouseClick(banner->recheckButton(), Qt::LeftButton);
    EXPECT_EQ(checks, 2);
    EXPECT_TRUE(banner->isVisible());

    granted = true;
    QTest::mouseClick(banner->recheckButton(), Qt::LeftButton);
    EXPECT_EQ(checks, 3);
    EXPECT_FALSE(w->noFDA());
    EXPECT_FALSE(banner->isVisible());
}

TEST_F(MainWindowTest, BannerStaysHiddenWithAccess) {
    auto w = makeWindow();
    EXPECT_FALSE(w->noFDA());
    EXPECT_FALSE(w->banner()->isVisible());
}

TEST_F(MainWindowTest, InitialQueryFromTheEnvironmentIsShownAndRunsOnce) {
    qputenv("QUILLFIND_QUERY", "beta");
    auto w = makeWindow();
    EXPECT_EQ(w->searchField()->text(), QStringLiteral("beta"));
    waitForIdle(*w);
    QTest::qWait(600);
    // The start-up query is not an edit: no second, debounced run follows.
    EXPECT_EQ(w->model().serial(), 1);
    EXPECT_EQ(rows(*w), 1);
    EXPECT_EQ(rowPath(*w, 0), betaFile.toStdString());
    qunsetenv("QUILLFIND_QUERY");
}

}  // namespace
}  // namespace qf
