// The row context menu: its items, and that it acts on its own row's hit.
#include "ui/row_menu.h"

#include <QMenu>
#include <gtest/gtest.h>

#include "actions/file_actions.h"
#include "model/model.h"
#include "ui_test_support.h"

namespace qf {
namespace {

class ClipboardDesktop : public DesktopServices {
public:
    void openItem(const std::string& path) override { opened.push_back(path); }
    void setClipboardText(const std::string& text) override { clipboard = text; }
    std::vector<std::string> opened;
    std::string clipboard;
};

std::vector<QString> shownTitles(const QMenu& menu) {
    std::vector<QString> titles;
    for (const QAction* a : menu.actions()) titles.push_back(a->isSeparator() ? QStringLiteral("-") : a->text());
    return titles;
}

class RowMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::app();
        test::isolateEnvironment(sandbox_, {});
        model_ = std::make_unique<Model>(desktop_);
        actions_ = std::make_unique<FileActions>(*model_);
    }
    test::Sandbox sandbox_;
    ClipboardDesktop desktop_;
    std::unique_ptr<Model> model_;
    std::unique_ptr<FileActions> actions_;
};

TEST_F(RowMenuTest, EveryRowOffersTheSameFifteenItemsWithThreeDividers) {
    const std::vector<QString> expected{
        "打开", "打开所在文件夹", "在 Finder 中显示", "在终端中打开", "显示简介", "-",
        "复制", "剪切（移动到…）", "拷贝副本", "重命名…", "移到废纸篓…", "-",
        "复制绝对路径", "复制文件名", "复制所在文件夹路径", "-",
        "压缩为 ZIP", "计算 SHA256"};
    for (const Hit& hit : {test::fileHit("/d/first.txt", 1), test::folderHit("/d/last")}) {
        QMenu menu;
        fillRowMenu(menu, *actions_, hit);
        EXPECT_EQ(shownTitles(menu), expected) << hit.path();
        for (const QAction* a : menu.actions()) {
            EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
            EXPECT_TRUE(a->shortcut().isEmpty()) << a->text().toStdString();
        }
    }
}

TEST_F(RowMenuTest, ItemsActOnTheirOwnRowNotTheSelection) {
    model_->setSelectedPath("/d/selected.txt");
    QMenu menu;
    fillRowMenu(menu, *actions_, test::fileHit("/d/clicked.txt", 1));
    const struct {
        QString title;
        std::string clipboard;
    } cases[] = {{"复制文件名", "clicked.txt"}, {"复制绝对路径", "/d/clicked.txt"}, {"复制所在文件夹路径", "/d"}};
    for (const auto& c : cases) {
        for (QAction* a : menu.actions()) {
            if (a->text() == c.title) a->trigger();
        }
        EXPECT_EQ(desktop_.clipboard, c.clipboard) << c.title.toStdString();
    }
    for (QAction* a : menu.actions()) {
        if (a->text() == "打开") a->trigger();
    }
    EXPECT_EQ(desktop_.opened, std::vector<std::string>{"/d/clicked.txt"});
    EXPECT_EQ(model_->selectedPath(), std::optional<std::string>("/d/selected.txt"));
}

}  // namespace
}  // namespace qf
