// cutMove, duplicate and rename on real files.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "actions/item_names.h"
#include "actions_fixture.h"

namespace qf {
namespace {

using test::ActionsTest;
using test::exists;
using test::readFile;
using test::writeFile;

void makeFolder(const std::string& path) { ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << path; }

const AlertRequest& onlyAlert(const test::RecordingDesktop& desktop) {
    EXPECT_EQ(desktop.alerts.size(), 1u);
    static const AlertRequest none;
    return desktop.alerts.empty() ? none : desktop.alerts.front();
}

TEST_F(ActionsTest, CutMoveAsksWithItsTextsAndStopsOnCancel) {
    writeFile(dir_ / "a.txt", "a");
    actions_.cutMove(hit(dir_ / "a.txt"));
    ASSERT_EQ(desktop_.folderRequests.size(), 1u);
    EXPECT_EQ(desktop_.folderRequests[0].confirmText, "移动到此处");
    EXPECT_EQ(desktop_.folderRequests[0].message, "选择目标文件夹（效果同剪切到此）");
    EXPECT_TRUE(exists(dir_ / "a.txt"));
    EXPECT_TRUE(desktop_.alerts.empty());
    EXPECT_FALSE(refreshed());
}

TEST_F(ActionsTest, CutMoveMovesIntoTheChosenFolderAndRefreshes) {
    writeFile(dir_ / "a.txt", "a");
    makeFolder(dir_ / "dest");
    for (const std::string& chosen : {dir_ / "dest", dir_ / "dest/"}) {
        writeFile(dir_ / "a.txt", "a");
        std::filesystem::remove(dir_ / "dest/a.txt");
        serialAtStart_ = model_->serial();
        desktop_.folderAnswer = chosen;
        actions_.cutMove(hit(dir_ / "a.txt"));
        EXPECT_FALSE(exists(dir_ / "a.txt")) << chosen;
        EXPECT_EQ(readFile(dir_ / "dest/a.txt"), "a") << chosen;
        EXPECT_TRUE(refreshed()) << chosen;
    }
    EXPECT_TRUE(desktop_.alerts.empty());
}

TEST_F(ActionsTest, CutMoveRefusesANameThatIsTaken) {
    writeFile(dir_ / "a.txt", "mine");
    makeFolder(dir_ / "dest");
    writeFile(dir_ / "dest/a.txt", "theirs");
    // The folder that already holds the item is the same case.
    for (const std::string& chosen : {dir_ / "dest", dir_.path()}) {
        desktop_.alerts.clear();
        desktop_.folderAnswer = chosen;
        actions_.cutMove(hit(dir_ / "a.txt"));
        const AlertRequest& alert = onlyAlert(desktop_);
        EXPECT_EQ(alert.title, "无法移动");
        EXPECT_EQ(alert.detail, "目标文件夹里已有同名项目：\na.txt");
        EXPECT_EQ(alert.buttons, std::vector<std::string>{"好"});
    }
    EXPECT_EQ(readFile(dir_ / "a.txt"), "mine");
    EXPECT_EQ(readFile(dir_ / "dest/a.txt"), "theirs");
    EXPECT_FALSE(refreshed());
}

TEST_F(ActionsTest, CutMoveOfAFolderIntoItselfFails) {
    makeFolder(dir_ / "Name");
    makeFolder(dir_ / "Name/inner");
    desktop_.folderAnswer = dir_ / "Name/inner";
    actions_.cutMove(hit(dir_ / "Name"));
    const AlertRequest& alert = onlyAlert(desktop_);
    EXPECT_EQ(alert.title, "移动失败");
    EXPECT_EQ(alert.detail, std::make_error_code(std::errc::invalid_argument).message());
    EXPECT_TRUE(exists(dir_ / "Name/inner"));
    EXPECT_FALSE(refreshed());
}

TEST_F(ActionsTest, DuplicateTakesTheFirstFreeCopyName) {
    writeFile(dir_ / "notes.txt", "n");
    writeFile(dir_ / "notes 副本.txt", "older copy");
    actions_.duplicate(hit(dir_ / "notes.txt"));
    EXPECT_EQ(readFile(dir_ / "notes 副本1.txt"), "n");
    EXPECT_EQ(readFile(dir_ / "notes 副本.txt"), "older copy");
    EXPECT_TRUE(desktop_.alerts.empty());
    EXPECT_TRUE(refreshed());
}

TEST_F(ActionsTest, DuplicateCopiesAWholeFolder) {
    makeFolder(dir_ / "Name");
    writeFile(dir_ / "Name/inside.txt", "i");
    actions_.duplicate(hit(dir_ / "Name"));
    EXPECT_EQ(readFile(dir_ / "Name 副本/inside.txt"), "i");
    EXPECT_TRUE(refreshed());
}

TEST_F(ActionsTest, DuplicateWithEveryCopyNameTakenFailsAndChangesNothing) {
    writeFile(dir_ / "a.txt", "original");
    const NameParts parts{"a", "txt"};
    for (int n = 0; n <= kMaxCopyNumber; ++n) writeFile(dir_ / copyName(parts, n), std::to_string(n));
    actions_.duplicate(hit(dir_ / "a.txt"));
    const AlertRequest& alert = onlyAlert(desktop_);
    EXPECT_EQ(alert.title, "拷贝副本失败");
    EXPECT_EQ(alert.detail, std::make_error_code(std::errc::file_exists).message());
    EXPECT_EQ(readFile(dir_ / "a 副本999.txt"), "999");
    EXPECT_EQ(readFile(dir_ / "a 副本.txt"), "0");
    EXPECT_FALSE(refreshed());
}

TEST_F(ActionsTest, DuplicateOfAVanishedItemFails) {
    actions_.duplicate(hit(dir_ / "gone.txt"));
    EXPECT_EQ(onlyAlert(desktop_).title, "拷贝副本失败");
    EXPECT_FALSE(exists(dir_ / "gone 副本.txt"));
    EXPECT_FALSE(refreshed());
}

TEST_F(ActionsTest, RenamePromptShowsPathNameAndButtons) {
    writeFile(dir_ / "a.txt", "a");
    actions_.rename(hit(dir_ / "a.txt"));
    ASSERT_EQ(desktop_.prompts.size(), 1u);
    EXPECT_EQ(desktop_.prompts[0].title, "重命名");
    EXPECT_EQ(desktop_.prompts[0].detail, dir_ / "a.txt");
    EXPECT_EQ(desktop_.prompts[0].initialText, "a.txt");
    EXPECT_EQ(desktop_.prompts[0].buttons, (std::vector<std::string>{"确定", "取消"}));
}

TEST_F(ActionsTest, RenameAnswers) {
    struct Case {
        const char* what;
        int response;
        std::string typed;
        std::string expectName;  // the item's name afterwards
        bool refresh;
    };
    const Case cases[] = {
        {"cancelled", 1001, "b.txt", "a.txt", false},
        {"window closed", 0, "b.txt", "a.txt", false},
        {"only spaces", 1000, "  \n", "a.txt", false},
        {"unchanged", 1000, " a.txt ", "a.txt", false},
        {"trimmed", 1000, "  b.txt \n", "b.txt", true},
        {"Chinese", 1000, "报告 终稿.txt", "报告 终稿.txt", true},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(dir_.path());
        std::filesystem::create_directory(dir_.path());
        writeFile(dir_ / "a.txt", "a");
        serialAtStart_ = model_->serial();
        desktop_.promptAnswer = {c.response, c.typed};
        actions_.rename(hit(dir_ / "a.txt"));
        EXPECT_EQ(readFile(dir_ / c.expectName), "a") << c.what;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1) << c.what;
        EXPECT_EQ(refreshed(), c.refresh) << c.what;
    }
    EXPECT_TRUE(desktop_.alerts.empty());
}

TEST_F(ActionsTest, RenameToACanonicallyEqualNameDoesNothing) {
    const std::string composed = "caf\xC3\xA9.txt";     // é as one code point
    const std::string decomposed = "cafe\xCC\x81.txt";  // e + combining acute
    writeFile(dir_ / composed, "c");
    desktop_.promptAnswer = {1000, decomposed};
    actions_.rename(hit(dir_ / composed));
    EXPECT_TRUE(exists(dir_ / composed));
    EXPECT_FALSE(exists(dir_ / decomposed));
    EXPECT_TRUE(desktop_.alerts.empty());
    EXPECT_FALSE(refreshed());
}

TEST_F(ActionsTest, RenameRefusals) {
    struct Case {
        const char* what;
        std::string typed;
        std::string detailStart;
    };
    const Case cases[] = {
        {"taken", "b.txt", "同目录下已存在同名项目：\nb.txt"},
        {"taken by a dangling link", "link", "同目录下已存在同名项目：\nlink"},
        {"slash would leave the folder", "../a.txt", "名称中不能含有“/”"},
        {"dot-dot", "..", "“.”和“..”不能用作名称"},
    };
    writeFile(dir_ / "a.txt", "a");
    writeFile(dir_ / "b.txt", "b");
    ASSERT_EQ(symlink("/nonexistent", (dir_ / "link").c_str()), 0);
    for (const Case& c : cases) {
        desktop_.alerts.clear();
        desktop_.promptAnswer = {1000, c.typed};
        actions_.rename(hit(dir_ / "a.txt"));
        const AlertRequest& alert = onlyAlert(desktop_);
        EXPECT_EQ(alert.title, "重命名失败") << c.what;
        EXPECT_EQ(alert.detail.rfind(c.detailStart, 0), 0u) << c.what << ": " << alert.detail;
    }
    EXPECT_EQ(readFile(dir_ / "a.txt"), "a");
    EXPECT_EQ(readFile(dir_ / "b.txt"), "b");
    EXPECT_FALSE(exists(dir_.path() + "/../a.txt") && dir_.path() != "/");
    EXPECT_FALSE(refreshed());
}

TEST_F(ActionsTest, RenameOfAVanishedItemShowsThePlatformError) {
    desktop_.promptAnswer = {1000, "new.txt"};
    actions_.rename(hit(dir_ / "gone.txt"));
    const AlertRequest& alert = onlyAlert(desktop_);
    EXPECT_EQ(alert.title, "重命名失败");
    EXPECT_EQ(alert.detail, std::make_error_code(std::errc::no_such_file_or_directory).message());
    EXPECT_FALSE(refreshed());
}

}  // namespace
}  // namespace qf
