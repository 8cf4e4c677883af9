#pragma once
// The window end to end with the real Model over a fake index command: the
// fixture of the window tests.
#include <QTest>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/content_view.h"
#include "ui/main_window.h"
#include "ui/results_table_model.h"
#include "ui/results_view.h"
#include "ui_test_support.h"

namespace qf::test {

// A window with the Model it shows, used like a pointer to the window.
struct OpenWindow {
    std::unique_ptr<ContentView> content;
    MainWindow* operator->() const { return &content->window(); }
    MainWindow& operator*() const { return content->window(); }
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        // Sizes differ so that sorting by size has one right order.
        alphaNotes = put(dir, QStringLiteral("tree/alpha notes.txt"), "alpha notes\nsecond line\n");
        alphaData = put(dir, QStringLiteral("tree/alpha-data.csv"), QByteArray(3000, 'x'));
        alphaFolder = mkdirs(dir, QStringLiteral("tree/Alpha folder"));
        betaFile = put(dir, QStringLiteral("tree/beta.md"), QByteArray(200, 'b'));
        alphaBig = put(dir, QStringLiteral("tree/sub/alpha big.log"), QByteArray(50000, 'l'));
        index.answer(byName("alpha"), paths({alphaNotes, alphaData, alphaFolder, alphaBig}));
        index.answer(byName("beta"), paths({betaFile}));
        index.answerOthers(paths({alphaNotes, alphaData, alphaFolder, betaFile, alphaBig}));
    }

    OpenWindow makeWindow(std::function<bool()> access = [] { return true; }) {
        MainWindowOptions options;
        options.settingsFile = settingsFile;
        options.hasFullDiskAccess = std::move(access);
        options.openUrl = [this](const QUrl& url) { openedUrls.push_back(url); };
        OpenWindow window{std::make_unique<ContentView>(desktop, std::move(options))};
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&*window));
        return window;
    }

    static bool published(MainWindow& w, std::int64_t after) {
        return QTest::qWaitFor([&] { return w.model().serial() > after && !w.model().gathering(); }, 8000);
    }

    // A window past its start-up run that shows the four "alpha" rows.
    OpenWindow searchedWindow() {
        auto w = makeWindow();
        EXPECT_TRUE(published(*w, 0));
        const auto before = w->model().serial();
        QTest::keyClicks(w->searchField(), QStringLiteral("alpha"));
        EXPECT_TRUE(published(*w, before));
        EXPECT_EQ(rows(*w), 4);
        return w;
    }

    static Lines paths(std::initializer_list<QString> in) {
        Lines out;
        for (const QString& p : in) out.push_back(p.toStdString());
        return out;
    }
    static int rows(MainWindow& w) { return w.resultsView()->tableModel().rowCount(); }
    static std::string rowPath(MainWindow& w, int row) { return w.resultsView()->tableModel().hitAt(row)->path(); }
    static std::vector<int> selectedRows(MainWindow& w) {
        std::vector<int> out;
        for (const QModelIndex& i : w.resultsView()->selectionModel()->selectedRows()) out.push_back(i.row());
        return out;
    }
    static void expectSelected(MainWindow& w, int row) {
        ASSERT_TRUE(w.model().selectedPath()) << row;
        EXPECT_EQ(*w.model().selectedPath(), rowPath(w, row));
        EXPECT_EQ(selectedRows(w), std::vector<int>{row});
    }

    TempDir dir;
    FakeMdfind index;
    RecordingDesktop desktop;
    std::vector<QUrl> openedUrls;
    QString settingsFile = at(dir, QStringLiteral("settings.ini"));
    QString alphaNotes, alphaData, alphaFolder, betaFile, alphaBig;
};

}  // namespace qf::test
