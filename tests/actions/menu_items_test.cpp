#include "actions/menu_items.h"

#include <QTest>
#include <map>

#include "actions_fixture.h"

namespace qf {
namespace {

using test::ActionsTest;

TEST(RowMenuItems, FifteenItemsInOrderWithThreeDividers) {
    const std::vector<std::string> expected{
        "打开", "打开所在文件夹", "在 Finder 中显示", "在终端中打开", "显示简介", "-",
        "复制", "剪切（移动到…）", "拷贝副本", "重命名…", "移到废纸篓…", "-",
        "复制绝对路径", "复制文件名", "复制所在文件夹路径", "-",
        "压缩为 ZIP", "计算 SHA256"};
    std::vector<std::string> titles;
    for (const MenuItem& item : rowMenuItems()) {
        EXPECT_EQ(item.isDivider(), item.title.empty());
        titles.emplace_back(item.isDivider() ? "-" : std::string(item.title));
    }
    EXPECT_EQ(titles, expected);
    // U+2026 and the full-width parentheses, not their ASCII look-alikes.
    EXPECT_EQ(rowMenuItems()[7].title, "\xE5\x89\xAA\xE5\x88\x87\xEF\xBC\x88\xE7\xA7\xBB\xE5\x8A\xA8\xE5\x88\xB0\xE2\x80\xA6\xEF\xBC\x89");
}

// Each item reaches the desktop through its own operation. The scripted
// answers cancel every dialog, so nothing changes on disk.
TEST_F(ActionsTest, EachMenuItemCallsItsOwnOperation) {
    const std::string path = dir_ / "missing.txt";
    const std::string folder = dir_.path();
    desktop_.programAnswer = ProgramResult{true, "", 1};
    const std::map<std::string, std::string> firstCall{
        {"打开", "openItem " + path},
        {"打开所在文件夹", "openItem " + folder},
        {"在 Finder 中显示", "revealItem " + path},
        {"在终端中打开", "openTerminal " + folder},
        {"显示简介", "showItemProperties " + path},
        {"复制", "setClipboardFile " + path},
        {"剪切（移动到…）", "chooseFolder"},
        {"拷贝副本", "alert 拷贝副本失败"},
        {"重命名…", "prompt 重命名"},
        {"移到废纸篓…", "alert 移到废纸篓？"},
        {"复制绝对路径", "setClipboardText " + path},
        {"复制文件名", "setClipboardText missing.txt"},
        {"复制所在文件夹路径", "setClipboardText " + folder},
        {"压缩为 ZIP", "runProgram " + test::binDir() + "/ditto"},
        {"计算 SHA256", "alert 计算失败"},
    };
    std::size_t items = 0;
    for (const MenuItem& item : rowMenuItems()) {
        if (item.isDivider()) continue;
        ++items;
        desktop_.calls.clear();
        (actions_.*item.action)(hit(path));
        (void)QTest::qWaitFor([this] { return !desktop_.calls.empty(); }, 10000);
        ASSERT_FALSE(desktop_.calls.empty()) << item.title;
        EXPECT_EQ(desktop_.calls.front(), firstCall.at(std::string(item.title))) << item.title;
    }
    EXPECT_EQ(items, 15u);
    EXPECT_FALSE(refreshed());
}

}  // namespace
}  // namespace qf
