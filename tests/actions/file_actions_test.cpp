// Move, duplicate, rename and trash on real files with the real Trash; each
// refreshes after success only and otherwise leaves every file as it was.
#include <filesystem>

#include "actions/item_names.h"
#include "support.h"

namespace qf::test {
namespace {

namespace fs = std::filesystem;

TEST_F(ActionsTest, CutMoveMovesIntoTheChosenFolderOnlyUnderAFreeName) {
    const struct {
        std::string item;
        std::optional<std::string> chosen;  // nothing: the chooser was cancelled
        std::string title, detail;          // the failure alert, if any
    } cases[] = {
        {"a.txt", std::nullopt, "", ""},
        {"a.txt", dir_ / "dest", "", ""},
        {"a.txt", dir_ / "dest/", "", ""},
        {"a.txt", dir_ / "taken", "无法移动", "目标文件夹里已有同名项目：\na.txt"},
        {"a.txt", dir_.path(), "无法移动", "目标文件夹里已有同名项目：\na.txt"},  // where it already is
        {"Name", dir_ / "Name/inner", "移动失败", errorText(std::errc::invalid_argument)},
    };
    for (const auto& c : cases) {
        fs::remove_all(dir_.path());
        fs::create_directories(dir_ / "Name/inner");
        fs::create_directory(dir_ / "dest");
        fs::create_directory(dir_ / "taken");
        writeFile(dir_ / "a.txt", "mine");
        writeFile(dir_ / "taken/a.txt", "theirs");
        auto expected = treeUnder(dir_.path());
        const bool moved = c.chosen && c.title.empty();
        if (moved) expected["dest/a.txt"] = expected.extract("a.txt").mapped();
        desktop_.calls.clear();
        desktop_.alerts.clear();
        desktop_.folderAnswer = c.chosen;
        serialAtStart_ = model_->serial();
        actions_.cutMove(hit(dir_ / c.item));
        if (c.title.empty()) {
            EXPECT_EQ(desktop_.calls, std::vector<std::string>{"chooseFolder"});
        } else {
            expectOnlyFailure(c.title, c.detail, *c.chosen);
        }
        EXPECT_EQ(treeUnder(dir_.path()), expected) << c.chosen.value_or("cancelled");
        EXPECT_EQ(refreshed(), moved) << c.chosen.value_or("cancelled");
    }
    EXPECT_EQ(desktop_.folderRequests[0].confirmText, "移动到此处");
    EXPECT_EQ(desktop_.folderRequests[0].message, "选择目标文件夹（效果同剪切到此）");
}

TEST_F(ActionsTest, DuplicateTakesTheFirstFreeCopyNameOrShowsTheReason) {
    writeFile(dir_ / "notes.txt", "n");
    writeFile(dir_ / "notes 副本.txt", "older copy");
    ASSERT_EQ(symlink("/nonexistent", (dir_ / "notes 副本1.txt").c_str()), 0);  // a dangling link takes the name
    fs::create_directory(dir_ / "Name");
    writeFile(dir_ / "Name/inside.txt", "i");
    auto expected = treeUnder(dir_.path());
    expected["notes 副本2.txt"] = "n";
    expected["Name 副本"] = "<dir>";
    expected["Name 副本/inside.txt"] = "i";
    actions_.duplicate(hit(dir_ / "notes.txt"));
    actions_.duplicate(hit(dir_ / "Name"));
    EXPECT_TRUE(desktop_.alerts.empty());
    EXPECT_TRUE(refreshed());
    serialAtStart_ = model_->serial();
    actions_.duplicate(hit(dir_ / "gone.txt"));
    expectOnlyFailure("拷贝副本失败", errorText(std::errc::no_such_file_or_directory));
    EXPECT_EQ(treeUnder(dir_.path()), expected);
    EXPECT_FALSE(refreshed());
}

// The folder holds a.txt, b.txt, a dangling link and a name with a composed
// é; a rename either moves the item or leaves every name as it was.
TEST_F(ActionsTest, RenameAnswersAndRefusals) {
    const std::string composed = "caf\xC3\xA9.txt";     // é as one code point
    const std::string decomposed = "cafe\xCC\x81.txt";  // e + combining acute
    const int ok = kFirstButton;
    const struct {
        std::string item;
        int response;
        std::string typed, renamedTo, failure;  // failure: the alert's detail
    } cases[] = {
        {"a.txt", ok + 1, "c.txt", "", ""},  // cancelled
        {"a.txt", 0, "c.txt", "", ""},       // window closed
        {"a.txt", ok, "  \n", "", ""},
        {"a.txt", ok, " a.txt ", "", ""},
        {composed, ok, decomposed, "", ""},  // canonically equal
        {"a.txt", ok, "  ..c \n", "..c", ""},
        {"a.txt", ok, "报告 终稿.txt", "报告 终稿.txt", ""},
        {"a.txt", ok, "b.txt", "", "同目录下已存在同名项目：\nb.txt"},
        {"a.txt", ok, "link", "", "同目录下已存在同名项目：\nlink"},
        {"a.txt", ok, "../a.txt", "", "名称中不能含有“/”。"},
        {"a.txt", ok, "..", "", "“.”和“..”不能用作名称。"},
        {"a.txt", ok, std::string("a\0b", 3), "", "名称中不能含有空字符。"},
        {"gone.txt", ok, "new.txt", "", errorText(std::errc::no_such_file_or_directory)},
    };
    for (const auto& c : cases) {
        fs::remove_all(dir_.path());
        fs::create_directory(dir_.path());
        for (const std::string& name : {std::string("a.txt"), std::string("b.txt"), composed})
            writeFile(dir_ / name, name);
        ASSERT_EQ(symlink("/nonexistent", (dir_ / "link").c_str()), 0);
        auto expected = treeUnder(dir_.path());
        if (!c.renamedTo.empty()) expected[c.renamedTo] = expected.extract(c.item).mapped();
        desktop_.calls.clear();
        desktop_.alerts.clear();
        desktop_.promptAnswer = {c.response, c.typed};
        serialAtStart_ = model_->serial();
        actions_.rename(hit(dir_ / c.item));
        EXPECT_EQ(desktop_.prompts.back().initialText, c.item);
        if (c.failure.empty()) {
            EXPECT_EQ(desktop_.calls, std::vector<std::string>{"prompt 重命名"}) << c.typed;
        } else {
            expectOnlyFailure("重命名失败", c.failure, c.typed);
        }
        EXPECT_EQ(treeUnder(dir_.path()), expected) << c.typed;
        EXPECT_EQ(refreshed(), !c.renamedTo.empty()) << c.typed;
    }
    EXPECT_EQ(desktop_.prompts.back().title, "重命名");
    EXPECT_EQ(desktop_.prompts.back().detail, dir_ / "gone.txt");
    EXPECT_EQ(desktop_.prompts.back().buttons, (std::vector<std::string>{"确定", "取消"}));
}

TEST_F(ActionsTest, TrashAsksFirstThenMovesToTheTrashOrShowsTheReason) {
    const std::string item = dir_ / "a.txt", trash = state_ / "data/Trash";
    writeFile(item, "a");
    actions_.trash(hit(item));  // the fake answers 取消
    EXPECT_TRUE(exists(item));
    EXPECT_FALSE(refreshed());
    desktop_.alertAnswers = {kFirstButton};
    actions_.trash(hit(item));
    EXPECT_EQ(readFile(trash + "/files/a.txt"), "a");
    EXPECT_NE(readFile(trash + "/info/a.txt.trashinfo").find("\nPath=" + item + "\n"), std::string::npos);
    EXPECT_TRUE(refreshed());
    serialAtStart_ = model_->serial();
    desktop_.alertAnswers = {kFirstButton};
    actions_.trash(hit(item));  // gone by now
    EXPECT_FALSE(refreshed());
    const std::string confirm = "alert 移到废纸篓？", move = "moveToTrash " + item;
    EXPECT_EQ(desktop_.calls, (std::vector<std::string>{confirm, confirm, move, confirm, move, "alert 删除失败"}));
    EXPECT_EQ(desktop_.alerts[0].detail, "「a.txt」将移到废纸篓，可在废纸篓中恢复。");
    EXPECT_EQ(desktop_.alerts[0].buttons, (std::vector<std::string>{"确定", "取消"}));
    EXPECT_EQ(desktop_.alerts[0].style, AlertStyle::warning);
    EXPECT_EQ(desktop_.alerts.back().detail, errorText(std::errc::no_such_file_or_directory));
    EXPECT_EQ(desktop_.alerts.back().buttons, std::vector<std::string>{"好"});
}

// Copy names are checked through duplicate, and which names are refused
// through rename.
TEST(SplitExtension, FollowsThePathExtensionRule) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"report.pdf", "report", "pdf"}, {"Photos", "Photos", ""},       {"a.tar.gz", "a.tar", "gz"},
        {".profile", ".profile", ""},    {"notes.", "notes.", ""},       {"Draft v1.2 final", "Draft v1.2 final", ""},
        {"照片.JPG", "照片", "JPG"},     {"/some/folder/x.y", "x", "y"}, {"a..b", "a.", "b"},
    };
    for (const auto& [name, base, extension] : cases) {
        const NameParts parts = splitExtension(name);
        EXPECT_EQ(parts.base, base) << name;
        EXPECT_EQ(parts.extension, extension) << name;
    }
}

TEST(TrimWhitespaceAndNewlines, RemovesUnicodeSpaceAndBreaksAtBothEnds) {
    const std::pair<const char*, const char*> cases[] = {
        {"  b.txt \n", "b.txt"},
        {"\t\r\nb.txt\u3000", "b.txt"},  // ideographic space
        {"\u00a0b c\u2028", "b c"},      // no-break space, line separator
        {"\u0085x\u2029", "x"},          // next line, paragraph separator
        {"   ", ""},
        {"a  b", "a  b"},              // inner spaces stay
        {"\u200bname", "\u200bname"},  // zero width space is not white space
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(trimWhitespaceAndNewlines(in), out) << in;
}

}  // namespace
}  // namespace qf::test
