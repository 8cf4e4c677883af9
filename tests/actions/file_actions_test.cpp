// The row menu's actions. Those that change files act on real ones with the
// real Trash, refresh after success only and otherwise leave every file as it
// was; hand-overs never refresh; the digest is hashed off the main thread.
#include <sys/stat.h>

#include <QCryptographicHash>
#include <QSemaphore>
#include <QTest>
#include <QThreadPool>
#include <filesystem>
#include <map>

#include "actions/item_names.h"
#include "actions/sha256_file.h"
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

// The copy name goes before the extension: what follows the last dot,
// unless that dot leads or ends the name or a space follows it.
TEST_F(ActionsTest, DuplicateTakesTheFirstFreeCopyNameOrShowsTheReason) {
    writeFile(dir_ / "notes 副本.txt", "older copy");
    ASSERT_EQ(symlink("/nonexistent", (dir_ / "notes 副本1.txt").c_str()), 0);  // a dangling link takes the name
    fs::create_directories(dir_ / "Name/inner");
    const std::pair<std::string, std::string> copies[] = {
        {"notes.txt", "notes 副本2.txt"}, {"Name", "Name 副本"},     {"a.tar.gz", "a.tar 副本.gz"},
        {".profile", ".profile 副本"},    {"notes.", "notes. 副本"}, {"Draft v1.2 final", "Draft v1.2 final 副本"},
        {"照片.JPG", "照片 副本.JPG"},    {"a..b", "a. 副本.b"},
    };
    for (const auto& [name, copy] : copies) {
        if (name != "Name") writeFile(dir_ / name, name);
    }
    auto expected = treeUnder(dir_.path());
    for (const auto& [name, copy] : copies) {
        expected[copy] = expected[name];
        actions_.duplicate(hit(dir_ / name));
    }
    expected["Name 副本/inner"] = "<dir>";
    EXPECT_TRUE(desktop_.alerts.empty());
    EXPECT_TRUE(refreshed());
    serialAtStart_ = model_->serial();
    actions_.duplicate(hit(dir_ / "gone.txt"));
    expectOnlyFailure("拷贝副本失败", errorText(std::errc::no_such_file_or_directory));
    EXPECT_EQ(treeUnder(dir_.path()), expected);
    EXPECT_FALSE(refreshed());
}

// Copy numbers go up to 999: the last free one is used, and with all of
// them taken the copy fails on the last rather than replacing anything.
TEST_F(ActionsTest, CopyNumbersEndAtNineHundredNinetyNine) {
    writeFile(dir_ / "n 副本", "");
    for (int n = 1; n <= 998; ++n) writeFile(dir_ / ("n 副本" + std::to_string(n)), "");
    EXPECT_EQ(freeCopyPath(dir_.path(), "n"), dir_ / "n 副本999");
    writeFile(dir_ / "n 副本999", "");
    EXPECT_EQ(freeCopyPath(dir_.path(), "n"), dir_ / "n 副本999");
}

// The folder holds a.txt, a dangling link and a name with a composed é; a
// rename either moves the item or leaves every name as it was.
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
        {composed, ok, decomposed, "", ""},                                 // canonically equal
        {"a.txt", ok, "\t\u00a0\u0085..c\u3000\u2028\u2029\n", "..c", ""},  // Unicode spaces and breaks
        {"a.txt", ok, "\u200bc", "\u200bc", ""},                            // zero width space is not one
        {"a.txt", ok, "报告 终稿.txt", "报告 终稿.txt", ""},
        {"a.txt", ok, "link", "", "同目录下已存在同名项目：\nlink"},
        {"a.txt", ok, "../a.txt", "", "名称中不能含有“/”。"},
        {"a.txt", ok, "..", "", "“.”和“..”不能用作名称。"},
        {"a.txt", ok, std::string("a\0b", 3), "", "名称中不能含有空字符。"},
        {"gone.txt", ok, "new.txt", "", errorText(std::errc::no_such_file_or_directory)},
    };
    for (const auto& c : cases) {
        fs::remove_all(dir_.path());
        fs::create_directory(dir_.path());
        writeFile(dir_ / "a.txt", "a.txt");
        writeFile(dir_ / composed, composed);
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
    EXPECT_FALSE(refreshed());
    desktop_.alertAnswers = {kFirstButton};
    actions_.trash(hit(item));
    EXPECT_EQ(readFile(trash + "/files/a.txt"), "a");
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
}

// The hand-overs pass the path, or its folder (the root for a top-level
// item); a failed one shows the desktop's reason, else a fixed text. The
// other items have their own tests here and in test_ui's row menu test.
TEST_F(ActionsTest, HandOversReachTheDesktopWithThePathOrItsFolder) {
    desktop_.terminalAnswer = Error(Errc::unavailable, "");
    desktop_.propertiesAnswer = Error(Errc::unavailable, "no FileManager1");
    const std::pair<void (FileActions::*)(const Hit&), std::vector<std::string>> cases[] = {
        {&FileActions::openParent, {"openItem /"}},
        {&FileActions::reveal, {"revealItem /missing.txt"}},
        {&FileActions::openTerminal, {"openTerminal /", "alert 无法打开终端"}},
        {&FileActions::showInfo, {"showItemProperties /missing.txt", "alert 无法显示简介"}},
        {&FileActions::copyFiles, {"setClipboardFile /missing.txt"}},
    };
    for (const auto& [action, calls] : cases) {
        desktop_.calls.clear();
        (actions_.*action)(hit("/missing.txt"));
        EXPECT_EQ(desktop_.calls, calls);
    }
    ASSERT_EQ(desktop_.alerts.size(), 2u);
    EXPECT_EQ(desktop_.alerts[0].detail, "AppleScript 执行失败");
    EXPECT_EQ(desktop_.alerts[1].detail, "no FileManager1");
    EXPECT_EQ(desktop_.alerts[1].style, AlertStyle::plain);
    EXPECT_FALSE(refreshed());
}

std::string digestOf(const std::string& content) {
    const QByteArray bytes = QByteArray::fromStdString(content);
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString();
}

// The digest, equal to a one-shot digest of the whole content also at the
// edges of the chunks the file is read in, arrives from a worker and is
// copied only on request; an item that cannot be read gives the failure
// alert instead; nothing is shown once the Model is gone.
TEST_F(ActionsTest, Sha256ShowsTheDigestFromAWorkerOrTheFailure) {
    const std::map<std::string, std::size_t> sizes{
        {"empty", 0}, {"chunk", kDigestChunkBytes}, {"more", kDigestChunkBytes + 1}};
    for (const auto& [name, size] : sizes) writeFile(dir_ / name, std::string(size, 'x'));
    ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0644), 0);  // would block a naive open()
    const std::pair<std::string, int> cases[] = {{"more", kFirstButton},
                                                 {"chunk", kFirstButton + 1},
                                                 {"empty", kFirstButton},
                                                 {"deleted.txt", kFirstButton},
                                                 {"fifo", kFirstButton}};
    // Every worker of the pool is held first, so the hash cannot be done
    // until they are let go: a result seen before then was worked out on
    // the main thread. The semaphore outlives every holder, which may still
    // be starting when the hash is done.
    QSemaphore hold;
    for (const auto& [name, answer] : cases) {
        desktop_.alerts.clear();
        desktop_.clipboardText = "before";
        desktop_.alertAnswers = {answer};
        const int workers = QThreadPool::globalInstance()->maxThreadCount();
        for (int i = 0; i < workers; ++i) QThreadPool::globalInstance()->start([&hold] { hold.acquire(); });
        actions_.sha256(hit(dir_ / name));
        QCoreApplication::processEvents();
        const bool mainThreadFree = desktop_.alerts.empty();
        hold.release(workers);
        ASSERT_TRUE(QTest::qWaitFor([this] { return !desktop_.alerts.empty(); }, 10000)) << name;
        if (!sizes.count(name)) {
            expectOnlyFailure("计算失败", "无法读取文件：\n" + dir_ / name, name);
            EXPECT_EQ(desktop_.clipboardText, "before");
            continue;
        }
        const std::string digest = digestOf(readFile(dir_ / name));
        EXPECT_TRUE(mainThreadFree) << name;
        EXPECT_EQ(desktop_.alerts[0].title, "SHA256");
        EXPECT_EQ(desktop_.alerts[0].detail, digest) << name;
        EXPECT_EQ(desktop_.alerts[0].buttons, (std::vector<std::string>{"复制", "关闭"}));
        EXPECT_EQ(desktop_.clipboardText, answer == kFirstButton ? digest : "before") << name;
    }
    EXPECT_FALSE(refreshed());
    // Once the Model is gone, the result is shown nowhere.
    desktop_.alerts.clear();
    actions_.sha256(hit(dir_ / "more"));
    model_.reset();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents();  // the result the worker queued
    EXPECT_TRUE(desktop_.alerts.empty());
}

}  // namespace
}  // namespace qf::test
