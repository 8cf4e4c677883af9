// The row menu's actions that change files act on real ones with the real
// Trash, refresh after success only and otherwise leave every file as it
// was; the digest is hashed off the main thread.
#include <sys/stat.h>

#include <QCryptographicHash>
#include <QSemaphore>
#include <QTest>
#include <QThreadPool>
#include <filesystem>

#include "actions/item_names.h"
#include "actions/sha256_file.h"
#include "support.h"

namespace qf::test {
namespace {

namespace fs = std::filesystem;

TEST_F(ActionsTest, CutMoveMovesIntoTheChosenFolderOnlyUnderAFreeName) {
    const std::string taken = "目标文件夹里已有同名项目：\na.txt";
    const std::tuple<std::string, std::optional<std::string>, std::string, std::string> cases[] = {
        // item, the chosen folder (nothing: cancelled), the failure alert if any
        {"a.txt", std::nullopt, "", ""},
        {"a.txt", dir_ / "dest", "", ""},
        {"a.txt", dir_ / "taken", "无法移动", taken},
        {"a.txt", dir_.path(), "无法移动", taken},  // where it already is
        {"Name", dir_ / "Name/inner", "移动失败", errorText(std::errc::invalid_argument)},
    };
    for (const auto& [item, chosen, title, detail] : cases) {
        fs::remove_all(dir_.path());
        for (const char* folder : {"Name/inner", "dest", "taken"}) fs::create_directories(dir_ / folder);
        writeFile(dir_ / "a.txt", "mine");
        writeFile(dir_ / "taken/a.txt", "theirs");
        auto expected = treeUnder(dir_.path());
        const bool moved = chosen && title.empty();
        if (moved) expected["dest/a.txt"] = expected.extract("a.txt").mapped();
        restart();
        desktop_.folderAnswer = chosen;
        actions_.cutMove(hitForPath(dir_ / item));
        expectOnlyFailure(title, detail, chosen.value_or("cancelled"));
        EXPECT_EQ(treeUnder(dir_.path()), expected) << chosen.value_or("cancelled");
        EXPECT_EQ(refreshed(), moved) << chosen.value_or("cancelled");
    }
    EXPECT_EQ(desktop_.folderRequests[0].confirmText, "移动到此处");
    EXPECT_EQ(desktop_.folderRequests[0].message, "选择目标文件夹（效果同剪切到此）");
}

// The copy name goes before the extension: what follows the last dot,
// unless that dot leads or ends the name or a space follows it. Copy
// numbers go up to 999: the last free one is used, and with all of them
// taken the copy fails rather than replacing anything.
TEST_F(ActionsTest, DuplicateTakesTheFirstFreeCopyNameOrShowsTheReason) {
    writeFile(dir_ / "notes 副本.txt", "older copy");
    ASSERT_EQ(symlink("/nonexistent", (dir_ / "notes 副本1.txt").c_str()), 0);  // a dangling link takes the name
    fs::create_directories(dir_ / "Name/inner");
    const std::pair<std::string, std::string> copies[] = {
        {"notes.txt", "notes 副本2.txt"},
        {"Name", "Name 副本"},
        {"a.tar.gz", "a.tar 副本.gz"},
        {".profile", ".profile 副本"},
        {"notes.", "notes. 副本"},
        {"Draft v1.2 final", "Draft v1.2 final 副本"},
        {"a..b", "a. 副本.b"},
    };
    for (const auto& [name, copy] : copies)
        if (name != "Name") writeFile(dir_ / name, name);
    auto expected = treeUnder(dir_.path());
    for (const auto& [name, copy] : copies) {
        expected[copy] = expected[name];
        actions_.duplicate(hitForPath(dir_ / name));
    }
    expected["Name 副本/inner"] = "<dir>";
    EXPECT_TRUE(desktop_.alerts.empty());
    EXPECT_TRUE(refreshed());
    EXPECT_EQ(treeUnder(dir_.path()), expected);
    for (int n = 0; n <= 998; ++n) writeFile(dir_ / ("n 副本" + (n ? std::to_string(n) : "")), "");
    EXPECT_EQ(freeCopyPath(dir_.path(), "n"), dir_ / "n 副本999");
    writeFile(dir_ / "n 副本999", "");
    EXPECT_EQ(freeCopyPath(dir_.path(), "n"), dir_ / "n 副本999");
}

// The folder holds a.txt, a dangling link and a name with a composed é; a
// rename either moves the item or leaves every name as it was.
TEST_F(ActionsTest, RenameAnswersAndRefusals) {
    const std::string composed = "caf\xC3\xA9.txt";  // é as one code point, and as e + combining acute
    const int ok = kFirstButton;
    const std::tuple<std::string, int, std::string, std::string, std::string> cases[] = {
        // item, answer, the text typed, the new name if renamed, the failure alert's detail
        {"a.txt", ok + 1, "c.txt", "", ""},  // cancelled
        {"a.txt", ok, " a.txt ", "", ""},
        {composed, ok, "cafe\xCC\x81.txt", "", ""},                         // canonically equal
        {"a.txt", ok, "\t\u00a0\u0085..c\u3000\u2028\u2029\n", "..c", ""},  // Unicode spaces and breaks
        {"a.txt", ok, "\u200bc", "\u200bc", ""},                            // zero width space is not one
        {"a.txt", ok, "link", "", "同目录下已存在同名项目：\nlink"},
        {"a.txt", ok, "../a.txt", "", "名称中不能含有“/”。"},
        {"a.txt", ok, "..", "", "“.”和“..”不能用作名称。"},
        {"a.txt", ok, std::string("a\0b", 3), "", "名称中不能含有空字符。"},
        {"gone.txt", ok, "new.txt", "", errorText(std::errc::no_such_file_or_directory)},
    };
    for (const auto& [item, answer, typed, renamedTo, failure] : cases) {
        SCOPED_TRACE(typed);
        fs::remove_all(dir_.path());
        fs::create_directory(dir_.path());
        writeFile(dir_ / "a.txt", "a.txt");
        writeFile(dir_ / composed, composed);
        ASSERT_EQ(symlink("/nonexistent", (dir_ / "link").c_str()), 0);
        auto expected = treeUnder(dir_.path());
        if (!renamedTo.empty()) expected[renamedTo] = expected.extract(item).mapped();
        restart();
        desktop_.promptAnswer = {answer, typed};
        actions_.rename(hitForPath(dir_ / item));
        EXPECT_EQ(desktop_.prompts.back().initialText, item);
        expectOnlyFailure(failure.empty() ? "" : "重命名失败", failure);
        EXPECT_EQ(treeUnder(dir_.path()), expected);
        EXPECT_EQ(refreshed(), !renamedTo.empty());
    }
    EXPECT_EQ(desktop_.prompts.back().detail, dir_ / "gone.txt");
    EXPECT_EQ(desktop_.prompts.back().buttons, (std::vector<std::string>{"确定", "取消"}));
}

TEST_F(ActionsTest, TrashAsksFirstThenMovesToTheTrashOrShowsTheReason) {
    const std::string item = dir_ / "a.txt";
    writeFile(item, "a");
    actions_.trash(hitForPath(item));  // the fake answers 取消
    EXPECT_FALSE(refreshed());
    desktop_.alertAnswers = {kFirstButton};
    actions_.trash(hitForPath(item));
    EXPECT_EQ(readFile(state_ / "data/Trash/files/a.txt"), "a");
    EXPECT_TRUE(refreshed());
    restart();
    desktop_.alertAnswers = {kFirstButton};
    actions_.trash(hitForPath(item));  // gone by now
    EXPECT_FALSE(refreshed());
    EXPECT_EQ(desktop_.calls,
              (std::vector<std::string>{"alert 移到废纸篓？", "moveToTrash " + item, "alert 删除失败"}));
    EXPECT_EQ(desktop_.alerts[0].detail, "「a.txt」将移到废纸篓，可在废纸篓中恢复。");
    EXPECT_EQ(desktop_.alerts[0].style, AlertStyle::warning);
    EXPECT_EQ(desktop_.alerts.back().detail, errorText(std::errc::no_such_file_or_directory));
}

// The digest, equal to a one-shot digest also at the edges of the chunks
// the file is read in, arrives from a worker and is copied only on request;
// an unreadable item gives the failure alert; nothing once the Model is gone.
TEST_F(ActionsTest, Sha256ShowsTheDigestFromAWorkerOrTheFailure) {
    writeFile(dir_ / "empty", "");
    writeFile(dir_ / "chunk", std::string(kDigestChunkBytes, 'x'));
    writeFile(dir_ / "more", std::string(kDigestChunkBytes + 1, 'x'));
    ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0644), 0);  // would block a naive open()
    const std::pair<std::string, int> cases[] = {
        {"more", kFirstButton}, {"chunk", kFirstButton + 1}, {"empty", kFirstButton},
        {"gone", kFirstButton}, {"fifo", kFirstButton},
    };
    // Every worker of the pool is held first: a result seen before they are
    // let go was worked out on the main thread. The semaphore outlives them.
    QSemaphore hold;
    for (const auto& [name, answer] : cases) {
        SCOPED_TRACE(name);
        desktop_.alerts.clear();
        desktop_.clipboardText = "before";
        desktop_.alertAnswers = {answer};
        const int workers = QThreadPool::globalInstance()->maxThreadCount();
        for (int i = 0; i < workers; ++i) QThreadPool::globalInstance()->start([&hold] { hold.acquire(); });
        actions_.sha256(hitForPath(dir_ / name));
        QCoreApplication::processEvents();
        const bool mainThreadFree = desktop_.alerts.empty();
        hold.release(workers);
        ASSERT_TRUE(QTest::qWaitFor([this] { return !desktop_.alerts.empty(); }, 10000));
        if (name == "gone" || name == "fifo") {
            expectOnlyFailure("计算失败", "无法读取文件：\n" + dir_ / name);
            EXPECT_EQ(desktop_.clipboardText, "before");
            continue;
        }
        const QByteArray bytes = QByteArray::fromStdString(readFile(dir_ / name));
        const std::string digest = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString();
        EXPECT_TRUE(mainThreadFree);
        EXPECT_EQ(desktop_.alerts[0].title, "SHA256");
        EXPECT_EQ(desktop_.alerts[0].detail, digest);
        EXPECT_EQ(desktop_.alerts[0].buttons, (std::vector<std::string>{"复制", "关闭"}));
        EXPECT_EQ(desktop_.clipboardText, answer == kFirstButton ? digest : "before");
    }
    EXPECT_FALSE(refreshed());
    desktop_.alerts.clear();
    actions_.sha256(hitForPath(dir_ / "more"));
    model_.reset();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents();  // the result the worker queued
    EXPECT_TRUE(desktop_.alerts.empty());
}

}  // namespace
}  // namespace qf::test
