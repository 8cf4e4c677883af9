// The row menu, the hand-overs to the desktop that never refresh, and the
// file digest, hashed off the main thread and shown back on it.
#include <sys/stat.h>

#include <QCryptographicHash>
#include <QTest>
#include <QThreadPool>
#include <filesystem>
#include <map>

#include "actions/menu_items.h"
#include "actions/sha256_file.h"
#include "support.h"

namespace qf::test {
namespace {

// Each item reaches the desktop through its own operation, with the path
// as it is (the parent of a top-level item is the root). The scripted
// answers cancel every dialog, so nothing changes on disk.
TEST_F(ActionsTest, EachMenuItemMakesItsOwnCalls) {
    desktop_.programAnswer = ProgramResult{true, "", 1};
    const std::map<std::string, std::vector<std::string>> expected{
        {"打开", {"openItem /missing.txt"}},
        {"打开所在文件夹", {"openItem /"}},
        {"在 Finder 中显示", {"revealItem /missing.txt"}},
        {"在终端中打开", {"openTerminal /"}},
        {"显示简介", {"showItemProperties /missing.txt"}},
        {"复制", {"setClipboardFile /missing.txt"}},
        {"剪切（移动到…）", {"chooseFolder"}},
        {"拷贝副本", {"alert 拷贝副本失败"}},
        {"重命名…", {"prompt 重命名"}},
        {"移到废纸篓…", {"alert 移到废纸篓？"}},
        {"复制绝对路径", {"setClipboardText /missing.txt"}},
        {"复制文件名", {"setClipboardText missing.txt"}},
        {"复制所在文件夹路径", {"setClipboardText /"}},
        {"压缩为 ZIP", {"runProgram " + binDir() + "/ditto", "alert 压缩失败"}},
        {"计算 SHA256", {"alert 计算失败"}},
    };
    for (const MenuItem& item : rowMenuItems()) {
        if (item.isDivider()) continue;
        desktop_.calls.clear();
        (actions_.*item.action)(hit("/missing.txt"));
        (void)QTest::qWaitFor([this] { return !desktop_.calls.empty(); }, 10000);
        EXPECT_EQ(desktop_.calls, expected.at(std::string(item.title))) << item.title;
    }
    EXPECT_FALSE(refreshed());
}

TEST_F(ActionsTest, DesktopFailuresShowTheReasonOrTheFixedText) {
    const std::pair<void (FileActions::*)(const Hit&), ServiceResult RecordingDesktop::*> services[] = {
        {&FileActions::showInfo, &RecordingDesktop::propertiesAnswer},
        {&FileActions::openTerminal, &RecordingDesktop::terminalAnswer},
    };
    const char* const titles[] = {"无法显示简介", "无法打开终端"};
    for (int i = 0; i < 2; ++i) {
        for (const auto& [reason, detail] : {std::pair<std::string, std::string>{"no FileManager1", "no FileManager1"},
                                             {"", "AppleScript 执行失败"}}) {
            desktop_.alerts.clear();
            desktop_.*services[i].second = ServiceResult::failure(reason);
            (actions_.*services[i].first)(hit("/Users/x/a.txt"));
            expectOnlyFailure(titles[i], detail, titles[i]);
            EXPECT_EQ(desktop_.alerts[0].style, AlertStyle::plain);
        }
    }
    EXPECT_FALSE(refreshed());
}

std::string digestOf(const std::string& content) {
    const QByteArray bytes = QByteArray::fromStdString(content);
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString();
}

// Checked against an independent one-shot digest of the whole content.
TEST(Sha256File, ChunkBoundaries) {
    const struct {
        std::size_t size, chunkBytes;
        std::int64_t chunks;
    } cases[] = {{0, kDigestChunkBytes, 0},
                 {1, kDigestChunkBytes, 1},
                 {kDigestChunkBytes, kDigestChunkBytes, 1},
                 {kDigestChunkBytes + 1, kDigestChunkBytes, 2},
                 {10007, 1000, 11}};
    TempDir dir;
    for (const auto& c : cases) {
        std::string content(c.size, '\0');
        for (std::size_t i = 0; i < c.size; ++i) content[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
        writeFile(dir / "f", content);
        const FileDigest d = sha256File(dir / "f", c.chunkBytes);
        EXPECT_TRUE(d.ok()) << c.size;
        EXPECT_EQ(d.chunks, c.chunks) << c.size;
        EXPECT_EQ(d.hex, digestOf(content)) << c.size;
    }
}

// The digest arrives from a worker, copied only on request; an item that
// cannot be read gives the failure alert instead.
TEST_F(ActionsTest, Sha256ShowsTheDigestFromAWorkerOrTheFailure) {
    const std::string content(3 * 1024 * 1024, 'x');
    writeFile(dir_ / "f.bin", content);
    std::filesystem::create_directory(dir_ / "folder");
    ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0644), 0);  // would block a naive open()
    const std::pair<std::string, int> cases[] = {{"f.bin", kFirstButton},
                                                 {"f.bin", kFirstButton + 1},
                                                 {"deleted.txt", kFirstButton},
                                                 {"folder", kFirstButton},
                                                 {"fifo", kFirstButton}};
    for (const auto& [name, answer] : cases) {
        desktop_.alerts.clear();
        desktop_.clipboardText = "before";
        desktop_.alertAnswers = {answer};
        actions_.sha256(hit(dir_ / name));
        // Hashing on the main thread, even with the result queued, would post
        // the result before this event; a worker posts it only later.
        bool mainThreadFree = false;
        QMetaObject::invokeMethod(
            qApp, [&] { mainThreadFree = desktop_.alerts.empty(); }, Qt::QueuedConnection);
        ASSERT_TRUE(QTest::qWaitFor([this] { return !desktop_.alerts.empty(); }, 10000)) << name;
        if (name != "f.bin") {
            expectOnlyFailure("计算失败", "无法读取文件：\n" + dir_ / name, name);
            EXPECT_EQ(desktop_.clipboardText, "before");
            continue;
        }
        EXPECT_TRUE(mainThreadFree);
        EXPECT_EQ(desktop_.alerts[0].title, "SHA256");
        EXPECT_EQ(desktop_.alerts[0].detail, digestOf(content));
        EXPECT_EQ(desktop_.alerts[0].buttons, (std::vector<std::string>{"复制", "关闭"}));
        EXPECT_EQ(desktop_.clipboardText, answer == kFirstButton ? digestOf(content) : "before") << answer;
    }
    EXPECT_FALSE(refreshed());
}

TEST_F(ActionsTest, Sha256ShowsNothingOnceTheModelIsGone) {
    writeFile(dir_ / "f", std::string(1024 * 1024, 'y'));
    actions_.sha256(hit(dir_ / "f"));
    model_.reset();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents();  // the result the worker queued
    EXPECT_TRUE(desktop_.alerts.empty());
}

}  // namespace
}  // namespace qf::test
