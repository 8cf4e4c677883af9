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
        std::string title, detail;          // no title: no alert
    } cases[] = {
        {"a.txt", std::nullopt, "", ""},
        {"a.txt", dir_ / "dest", "", ""},
        {"a.txt", dir_ / "dest/", "", ""},
        {"a.txt", dir_ / "taken", "无法移动", "目标文件夹里已有同名项目：\na.txt"},
        {"a.txt", dir_.path(), "无法移动", "目标文件夹里已有同名项目：\na.txt"},  // where it already is
        {"Name", dir_ / "Name/inner", "移动失败", errorText(std::errc::invalid_argument)},
    };
    for (const auto& c : cases) {
        const std::string what = c.chosen.value_or("cancelled");
        fs::remove_all(dir_.path());
        fs::create_directories(dir_ / "Name/inner");
        fs::create_directory(dir_ / "dest");
        fs::create_directory(dir_ / "taken");
        writeFile(dir_ / "a.txt", "mine");
        writeFile(dir_ / "taken/a.txt", "theirs");
        const auto before = treeUnder(dir_.path());
        desktop_.alerts.clear();
        desktop_.folderAnswer = c.chosen;
        serialAtStart_ = model_->serial();
        actions_.cutMove(hit(dir_ / c.item));
        const bool moved = c.chosen && c.title.empty();
        if (c.title.empty()) {
            EXPECT_TRUE(desktop_.alerts.empty()) << what;
        } else {
            expectOnlyFailure(c.title, c.detail, what);
        }
        if (moved) {
            EXPECT_EQ(readFile(dir_ / "dest/a.txt"), "mine") << what;
            EXPECT_FALSE(exists(dir_ / "a.txt")) << what;
        } else {
            EXPECT_EQ(treeUnder(dir_.path()), before) << what;
        }
        EXPECT_EQ(refreshed(), moved) << what;
    }
    ASSERT_EQ(desktop_.folderRequests.size(), std::size(cases));
    EXPECT_EQ(desktop_.folderRequests[0].confirmText, "移动到此处");
    EXPECT_EQ(desktop_.folderRequests[0].message, "选择目标文件夹（效果同剪切到此）");
}

TEST_F(ActionsTest, DuplicateTakesTheFirstFreeCopyName) {
    writeFile(dir_ / "notes.txt", "n");
    writeFile(dir_ / "notes 副本.txt", "older copy");
    ASSERT_EQ(symlink("/nonexistent", (dir_ / "notes 副本1.txt").c_str()), 0);  // a dangling link takes the name
    fs::create_directory(dir_ / "Name");
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
    for (int n = 0; n <= kMaxCopyNumber; ++n) writeFile(dir_ / copyName({"a", "txt"}, n), std::to_string(n));
    const auto before = treeUnder(dir_.path());
    actions_.duplicate(hit(dir_ / "a.txt"));
    expectOnlyFailure("拷贝副本失败", errorText(std::errc::file_exists));
    desktop_.alerts.clear();
    actions_.duplicate(hit(dir_ / "gone.txt"));
    expectOnlyFailure("拷贝副本失败", errorText(std::errc::no_such_file_or_directory));
    EXPECT_EQ(treeUnder(dir_.path()), before);
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
        std::string typed, renamedTo, failure;  // failure: how the alert's detail starts
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
        {"a.txt", ok, "../a.txt", "", "名称中不能含有“/”"},
        {"a.txt", ok, "..", "", "“.”和“..”不能用作名称"},
        {"a.txt", ok, std::string("a\0b", 3), "", "名称中不能含有空字符"},
        {"gone.txt", ok, "new.txt", "", errorText(std::errc::no_such_file_or_directory)},
    };
    for (const auto& c : cases) {
        fs::remove_all(dir_.path());
        fs::create_directory(dir_.path());
        for (const std::string& name : {std::string("a.txt"), std::string("b.txt"), composed})
            writeFile(dir_ / name, name);
        ASSERT_EQ(symlink("/nonexistent", (dir_ / "link").c_str()), 0);
        const auto before = treeUnder(dir_.path());
        desktop_.alerts.clear();
        desktop_.promptAnswer = {c.response, c.typed};
        serialAtStart_ = model_->serial();
        actions_.rename(hit(dir_ / c.item));
        EXPECT_EQ(desktop_.prompts.back().initialText, c.item);
        if (c.renamedTo.empty()) {
            EXPECT_EQ(treeUnder(dir_.path()), before) << c.typed;
        } else {
            EXPECT_EQ(readFile(dir_ / c.renamedTo), c.item) << c.typed;
            EXPECT_FALSE(exists(dir_ / c.item)) << c.typed;
        }
        EXPECT_EQ(refreshed(), !c.renamedTo.empty()) << c.typed;
        if (c.failure.empty()) {
            EXPECT_TRUE(desktop_.alerts.empty()) << c.typed;
        } else {
            ASSERT_EQ(desktop_.alerts.size(), 1u) << c.typed;
            EXPECT_EQ(desktop_.alerts[0].title, "重命名失败") << c.typed;
            EXPECT_EQ(desktop_.alerts[0].detail.rfind(c.failure, 0), 0u)
                << c.typed << ": " << desktop_.alerts[0].detail;
        }
    }
    ASSERT_EQ(desktop_.prompts.size(), std::size(cases));
    EXPECT_EQ(desktop_.prompts.back().title, "重命名");
    EXPECT_EQ(desktop_.prompts.back().detail, dir_ / "gone.txt");
    EXPECT_EQ(desktop_.prompts.back().buttons, (std::vector<std::string>{"确定", "取消"}));
}

TEST_F(ActionsTest, TrashAsksFirstThenMovesToTheTrashOrShowsTheReason) {
    writeFile(dir_ / "a.txt", "a");
    actions_.trash(hit(dir_ / "a.txt"));  // the fake answers 取消
    const AlertRequest confirm{
        "移到废纸篓？", "「a.txt」将移到废纸篓，可在废纸篓中恢复。", {"确定", "取消"}, AlertStyle::warning};
    ASSERT_EQ(desktop_.alerts.size(), 1u);
    EXPECT_EQ(desktop_.alerts[0].title, confirm.title);
    EXPECT_EQ(desktop_.alerts[0].detail, confirm.detail);
    EXPECT_EQ(desktop_.alerts[0].buttons, confirm.buttons);
    EXPECT_EQ(desktop_.alerts[0].style, confirm.style);
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
    desktop_.alerts.erase(desktop_.alerts.begin());
    expectOnlyFailure("删除失败", errorText(std::errc::no_such_file_or_directory));
    EXPECT_FALSE(refreshed());
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
