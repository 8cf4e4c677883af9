// Move, duplicate, rename, trash and compress on real files, with the real
// Trash and ditto; each refreshes after success only.
#include <sys/stat.h>

#include <filesystem>

#include "actions/item_names.h"
#include "support.h"

namespace qf {
namespace {

using test::ActionsTest;
using test::errorText;
using test::exists;
using test::readFile;
using test::writeFile;

void makeFolder(const std::string& path) { ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << path; }

TEST_F(ActionsTest, CutMoveAsksThenMovesIntoTheChosenFolderAndRefreshes) {
    makeFolder(dir_ / "dest");
    writeFile(dir_ / "a.txt", "a");
    actions_.cutMove(hit(dir_ / "a.txt"));  // cancelled
    ASSERT_EQ(desktop_.folderRequests.size(), 1u);
    EXPECT_EQ(desktop_.folderRequests[0].confirmText, "移动到此处");
    EXPECT_EQ(desktop_.folderRequests[0].message, "选择目标文件夹（效果同剪切到此）");
    EXPECT_TRUE(exists(dir_ / "a.txt"));
    EXPECT_FALSE(refreshed());
    for (const std::string& chosen : {dir_ / "dest", dir_ / "dest/"}) {
        writeFile(dir_ / "a.txt", "a");
        std::filesystem::remove(dir_ / "dest/a.txt");
        serialAtStart_ = model_->serial();
        desktop_.folderAnswer = chosen;
        actions_.cutMove(hit(dir_ / "a.txt"));
        EXPECT_EQ(test::namesIn(dir_.path()), std::vector<std::string>{"dest"}) << chosen;
        EXPECT_EQ(readFile(dir_ / "dest/a.txt"), "a") << chosen;
        EXPECT_TRUE(refreshed()) << chosen;
    }
    EXPECT_TRUE(desktop_.alerts.empty());
}

TEST_F(ActionsTest, CutMoveRefusesATakenNameAndAFolderIntoItself) {
    writeFile(dir_ / "a.txt", "mine");
    makeFolder(dir_ / "dest");
    writeFile(dir_ / "dest/a.txt", "theirs");
    makeFolder(dir_ / "Name");
    makeFolder(dir_ / "Name/inner");
    const struct {
        std::string item, chosen, title, detail;
    } cases[] = {
        {"a.txt", dir_ / "dest", "无法移动", "目标文件夹里已有同名项目：\na.txt"},
        {"a.txt", dir_.path(), "无法移动", "目标文件夹里已有同名项目：\na.txt"},  // where it already is
        {"Name", dir_ / "Name/inner", "移动失败", errorText(std::errc::invalid_argument)},
    };
    for (const auto& c : cases) {
        desktop_.alerts.clear();
        desktop_.folderAnswer = c.chosen;
        actions_.cutMove(hit(dir_ / c.item));
        expectOnlyFailure(c.title, c.detail, c.chosen);
    }
    EXPECT_EQ(readFile(dir_ / "a.txt"), "mine");
    EXPECT_EQ(readFile(dir_ / "dest/a.txt"), "theirs");
    EXPECT_TRUE(exists(dir_ / "Name/inner"));
    EXPECT_FALSE(refreshed());
}

TEST_F(ActionsTest, DuplicateTakesTheFirstFreeCopyName) {
    writeFile(dir_ / "notes.txt", "n");
    writeFile(dir_ / "notes 副本.txt", "older copy");
    ASSERT_EQ(symlink("/nonexistent", (dir_ / "notes 副本1.txt").c_str()), 0);  // a dangling link takes the name
    makeFolder(dir_ / "Name");
    writeFile(dir_ / "Name/inside.txt", "i");
    actions_.duplicate(hit(dir_ / "notes.txt"));
    actions_.duplicate(hit(dir_ / "Name"));
    EXPECT_EQ(readFile(dir_ / "notes 副本2.txt"), "n");
    EXPECT_EQ(readFile(dir_ / "notes 副本.txt"), "older copy");
    EXPECT_EQ(readFile(dir_ / "Name 副本/inside.txt"), "i");
    EXPECT_TRUE(desktop_.alerts.empty());
    EXPECT_TRUE(refreshed());
}

TEST_F(ActionsTest, DuplicateFailuresChangeNothing) {
    writeFile(dir_ / "a.txt", "original");
    const NameParts parts{"a", "txt"};
    for (int n = 0; n <= kMaxCopyNumber; ++n) writeFile(dir_ / copyName(parts, n), std::to_string(n));
    actions_.duplicate(hit(dir_ / "a.txt"));
    expectOnlyFailure("拷贝副本失败", errorText(std::errc::file_exists));
    EXPECT_EQ(readFile(dir_ / "a 副本999.txt"), "999");
    EXPECT_EQ(readFile(dir_ / "a 副本.txt"), "0");

    desktop_.alerts.clear();
    actions_.duplicate(hit(dir_ / "gone.txt"));
    expectOnlyFailure("拷贝副本失败", errorText(std::errc::no_such_file_or_directory));
    EXPECT_FALSE(exists(dir_ / "gone 副本.txt"));
    EXPECT_FALSE(refreshed());
}

TEST_F(ActionsTest, RenameAnswers) {
    const std::string composed = "caf\xC3\xA9.txt";     // é as one code point
    const std::string decomposed = "cafe\xCC\x81.txt";  // e + combining acute
    const struct {
        const char* what;
        std::string from;
        int response;
        std::string typed, after;  // the item's name afterwards
        bool refresh;
    } cases[] = {
        {"cancelled", "a.txt", 1001, "b.txt", "a.txt", false},
        {"window closed", "a.txt", 0, "b.txt", "a.txt", false},
        {"only spaces", "a.txt", 1000, "  \n", "a.txt", false},
        {"unchanged", "a.txt", 1000, " a.txt ", "a.txt", false},
        {"trimmed", "a.txt", 1000, "  b.txt \n", "b.txt", true},
        {"Chinese", "a.txt", 1000, "报告 终稿.txt", "报告 终稿.txt", true},
        {"canonically equal", composed, 1000, decomposed, composed, false},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(dir_.path());
        std::filesystem::create_directory(dir_.path());
        writeFile(dir_ / c.from, "a");
        serialAtStart_ = model_->serial();
        desktop_.promptAnswer = {c.response, c.typed};
        actions_.rename(hit(dir_ / c.from));
        EXPECT_EQ(test::namesIn(dir_.path()), std::vector<std::string>{c.after}) << c.what;
        EXPECT_EQ(readFile(dir_ / c.after), "a") << c.what;
        EXPECT_EQ(refreshed(), c.refresh) << c.what;
        ASSERT_FALSE(desktop_.prompts.empty());
        EXPECT_EQ(desktop_.prompts.back().initialText, c.from);
    }
    EXPECT_EQ(desktop_.prompts.size(), std::size(cases));
    EXPECT_EQ(desktop_.prompts.back().title, "重命名");
    EXPECT_EQ(desktop_.prompts.back().detail, dir_ / composed);
    EXPECT_EQ(desktop_.prompts.back().buttons, (std::vector<std::string>{"确定", "取消"}));
    EXPECT_TRUE(desktop_.alerts.empty());
}

TEST_F(ActionsTest, RenameRefusals) {
    const struct {
        std::string item, typed, detailStart;
    } cases[] = {
        {"a.txt", "b.txt", "同目录下已存在同名项目：\nb.txt"},
        {"a.txt", "link", "同目录下已存在同名项目：\nlink"},  // a dangling link takes the name
        {"a.txt", "../a.txt", "名称中不能含有“/”"},
        {"a.txt", "..", "“.”和“..”不能用作名称"},
        {"gone.txt", "new.txt", errorText(std::errc::no_such_file_or_directory)},
    };
    writeFile(dir_ / "a.txt", "a");
    writeFile(dir_ / "b.txt", "b");
    ASSERT_EQ(symlink("/nonexistent", (dir_ / "link").c_str()), 0);
    for (const auto& c : cases) {
        desktop_.alerts.clear();
        desktop_.promptAnswer = {1000, c.typed};
        actions_.rename(hit(dir_ / c.item));
        ASSERT_EQ(desktop_.alerts.size(), 1u) << c.typed;
        EXPECT_EQ(desktop_.alerts[0].title, "重命名失败") << c.typed;
        EXPECT_EQ(desktop_.alerts[0].detail.rfind(c.detailStart, 0), 0u)
            << c.typed << ": " << desktop_.alerts[0].detail;
    }
    EXPECT_EQ(test::namesIn(dir_.path()), (std::vector<std::string>{"a.txt", "b.txt", "link"}));
    EXPECT_EQ(readFile(dir_ / "b.txt"), "b");
    EXPECT_FALSE(refreshed());
}

TEST_F(ActionsTest, TrashAsksFirstThenMovesToTheTrashOrShowsTheReason) {
    writeFile(dir_ / "a.txt", "a");
    actions_.trash(hit(dir_ / "a.txt"));  // the fake answers 取消
    ASSERT_EQ(desktop_.alerts.size(), 1u);
    const AlertRequest confirm = desktop_.alerts[0];
    EXPECT_EQ(confirm.title, "移到废纸篓？");
    EXPECT_EQ(confirm.detail, "「a.txt」将移到废纸篓，可在废纸篓中恢复。");
    EXPECT_EQ(confirm.buttons, (std::vector<std::string>{"确定", "取消"}));
    EXPECT_EQ(confirm.style, AlertStyle::warning);
    EXPECT_EQ(desktop_.calls, std::vector<std::string>{"alert 移到废纸篓？"});
    EXPECT_TRUE(exists(dir_ / "a.txt"));
    EXPECT_FALSE(refreshed());

    desktop_.alertAnswers = {kFirstButton};
    actions_.trash(hit(dir_ / "a.txt"));
    const std::string trash = state_ / "data/Trash";
    EXPECT_FALSE(exists(dir_ / "a.txt"));
    EXPECT_EQ(readFile(trash + "/files/a.txt"), "a");
    EXPECT_NE(readFile(trash + "/info/a.txt.trashinfo").find("\nPath=" + dir_ / "a.txt" + "\n"), std::string::npos);
    EXPECT_EQ(desktop_.alerts.size(), 2u);
    EXPECT_TRUE(refreshed());

    // Gone by now: the reason is shown and nothing refreshes.
    desktop_.alerts.clear();
    desktop_.alertAnswers = {kFirstButton};
    serialAtStart_ = model_->serial();
    actions_.trash(hit(dir_ / "a.txt"));
    ASSERT_EQ(desktop_.alerts.size(), 2u);
    EXPECT_EQ(desktop_.alerts[1].title, "删除失败");
    EXPECT_EQ(desktop_.alerts[1].detail, errorText(std::errc::no_such_file_or_directory));
    EXPECT_EQ(desktop_.alerts[1].buttons, std::vector<std::string>{"好"});
    EXPECT_FALSE(refreshed());
}

TEST_F(ActionsTest, CompressReportsTheArchiversStatusOrStartFailure) {
    const std::pair<ProgramResult, std::string> cases[] = {
        {{true, "", 1}, "ditto 退出码 1"},
        {{false, "No such file or directory: /x/ditto", -1}, "No such file or directory: /x/ditto"},
    };
    writeFile(dir_ / "a.txt", "a");
    for (const auto& [result, detail] : cases) {
        desktop_.alerts.clear();
        desktop_.programAnswer = result;
        actions_.compress(hit(dir_ / "a.txt"));
        expectOnlyFailure("压缩失败", detail, detail);
    }
    EXPECT_FALSE(refreshed());
}

class CompressTest : public ActionsTest {
protected:
    void SetUp() override {
        if (!test::dittoBuilt()) GTEST_SKIP() << "no ditto in QF_BIN_DIR";
    }
};

TEST_F(CompressTest, RunsDittoWithSixArgumentsOnAFreeName) {
    writeFile(dir_ / "report.pdf", "pdf");
    writeFile(dir_ / "report.zip", "older archive");
    writeFile(dir_ / "report.md", "m");
    makeFolder(dir_ / "My.app");
    writeFile(dir_ / "My.app/Info.plist", "p");
    actions_.compress(hit(dir_ / "report.pdf"));
    ASSERT_EQ(desktop_.programs.size(), 1u);
    EXPECT_EQ(desktop_.programs[0],
              (std::vector<std::string>{test::binDir() + "/ditto", "-c", "-k", "--sequesterRsrc", "--keepParent",
                                        dir_ / "report.pdf", dir_ / "report1.zip"}));
    EXPECT_TRUE(refreshed());
    actions_.compress(hit(dir_ / "report.md"));
    actions_.compress(hit(dir_ / "My.app"));
    EXPECT_EQ(test::namesInZip(dir_ / "report1.zip"), std::vector<std::string>{"report.pdf"});
    EXPECT_EQ(test::namesInZip(dir_ / "report2.zip"), std::vector<std::string>{"report.md"});
    EXPECT_EQ(test::namesInZip(dir_ / "My.zip"), (std::vector<std::string>{"My.app/", "My.app/Info.plist"}));
    EXPECT_EQ(readFile(dir_ / "report.zip"), "older archive");
    EXPECT_TRUE(desktop_.alerts.empty());
}

TEST_F(CompressTest, AllNamesTakenNeverOverwritesTheLast) {
    writeFile(dir_ / "r.txt", "r");
    writeFile(dir_ / "r.zip", "0");
    for (int n = 1; n <= kMaxArchiveNumber; ++n) writeFile(dir_ / archiveName("r", n), std::to_string(n));
    actions_.compress(hit(dir_ / "r.txt"));
    ASSERT_EQ(desktop_.programs.size(), 1u);
    EXPECT_EQ(desktop_.programs[0].back(), dir_ / "r1000.zip");
    ASSERT_EQ(desktop_.alerts.size(), 1u);
    EXPECT_EQ(desktop_.alerts[0].title, "压缩失败");
    EXPECT_EQ(desktop_.alerts[0].detail.rfind("ditto 退出码 ", 0), 0u);
    EXPECT_EQ(readFile(dir_ / "r1000.zip"), "1000");
    EXPECT_FALSE(refreshed());
}

}  // namespace
}  // namespace qf
