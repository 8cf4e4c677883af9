// The row context menu: its items, and that it acts on its own row's hit.
#include "ui/row_menu.h"

#include <gtest/gtest.h>
#include <QMenu>

#include "actions/file_actions.h"
#include "model/model.h"
#include "ui_test_support.h"

namespace qf {
namespace {

class RowMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::app();
        test::isolateEnvironment(dir, {});
        model = std::make_unique<Model>(desktop);
        actions = std::make_unique<FileActions>(*model);
    }
    void trigger(QMenu& menu, const QString& title) {
        for (QAction* a : menu.actions())
            if (a->text() == title) a->trigger();
    }
    test::TempDir dir;
    test::RecordingDesktop desktop;
    std::unique_ptr<Model> model;
    std::unique_ptr<FileActions> actions;
};

// The titles themselves are the actions tests' concern; here, the order with
// the dividers, no shortcuts, and that each item acts on its own row.
TEST_F(RowMenuTest, ItemsInOrderWithDividersActOnTheirOwnRowNotTheSelection) {
    model->setSelectedPath("/d/selected.txt");
    QMenu menu;
    fillRowMenu(menu, *actions, test::fileHit("/d/clicked.txt", 1));
    QStringList titles;
    for (const QAction* a : menu.actions()) {
        titles << (a->isSeparator() ? QStringLiteral("-") : a->text());
        EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
        EXPECT_TRUE(a->shortcut().isEmpty()) << a->text().toStdString();
    }
    EXPECT_EQ(titles.join(QLatin1Char('|')).toStdString(),
              "打开|打开所在文件夹|在 Finder 中显示|在终端中打开|显示简介|-|"
              "复制|剪切（移动到…）|拷贝副本|重命名…|移到废纸篓…|-|"
              "复制绝对路径|复制文件名|复制所在文件夹路径|-|"
              "压缩为 ZIP|计算 SHA256");

    for (const auto& [title, clipboard] : {std::pair<QString, std::string>{"复制文件名", "clicked.txt"},
                                           {"复制绝对路径", "/d/clicked.txt"},
                                           {"复制所在文件夹路径", "/d"}}) {
        trigger(menu, title);
        EXPECT_EQ(desktop.clipboardText, clipboard) << title.toStdString();
    }
    trigger(menu, QStringLiteral("打开"));
    EXPECT_EQ(desktop.opened(), std::vector<std::string>{"/d/clicked.txt"});
    EXPECT_EQ(model->selectedPath(), std::optional<std::string>("/d/selected.txt"));
}

}  // namespace
}  // namespace qf
