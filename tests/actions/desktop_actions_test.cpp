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

namespace qf {
namespace {

using test::ActionsTest;
using test::writeFile;

// Each item reaches the desktop through its own operation, with the path
// as it is (the parent of a top-level item is the root). The scripted
// answers cancel every dialog, so nothing changes on disk.
TEST_F(ActionsTest, EachMenuItemMakesItsOwnCalls) {
    desktop_.programAnswer = ProgramResult{true, "", 1};
    const std::string quoted = dir_ / "a\"b\\c";
    for (const auto& [folder, path] :
         {std::pair{quoted, quoted + "/missing.txt"}, std::pair{std::string("/"), std::string("/missing.txt")}}) {
        const std::map<std::string, std::vector<std::string>> expected{
            {"打开", {"openItem " + path}},
            {"打开所在文件夹", {"openItem " + folder}},
            {"在 Finder 中显示", {"revealItem " + path}},
            {"在终端中打开", {"openTerminal " + folder}},
            {"显示简介", {"showItemProperties " + path}},
            {"复制", {"setClipboardFile " + path}},
            {"剪切（移动到…）", {"chooseFolder"}},
            {"拷贝副本", {"alert 拷贝副本失败"}},
            {"重命名…", {"prompt 重命名"}},
            {"移到废纸篓…", {"alert 移到废纸篓？"}},
            {"复制绝对路径", {"setClipboardText " + path}},
            {"复制文件名", {"setClipboardText missing.txt"}},
            {"复制所在文件夹路径", {"setClipboardText " + folder}},
            {"压缩为 ZIP", {"runProgram " + test::binDir() + "/ditto", "alert 压缩失败"}},
            {"计算 SHA256", {"alert 计算失败"}},
        };
        std::size_t items = 0;
        for (const MenuItem& item : rowMenuItems()) {
            if (item.isDivider()) continue;
            ++items;
            desktop_.calls.clear();
            (actions_.*item.action)(hit(path));
            (void)QTest::qWaitFor([this] { return !desktop_.calls.empty(); }, 10000);
            EXPECT_EQ(desktop_.calls, expected.at(std::string(item.title))) << item.title << " " << path;
        }
        EXPECT_EQ(items, 15u);
    }
    EXPECT_FALSE(refreshed());
}

TEST_F(ActionsTest, DesktopFailuresShowTheReasonOrTheFixedText) {
    const struct {
        void (FileActions::*action)(const Hit&);
        ServiceResult test::RecordingDesktop::*answer;
        const char* title;
    } services[] = {
        {&FileActions::showInfo, &test::RecordingDesktop::propertiesAnswer, "无法显示简介"},
        {&FileActions::openTerminal, &test::RecordingDesktop::terminalAnswer, "无法打开终端"},
    };
    const std::pair<std::string, std::string> reasons[] = {
        {"The name org.freedesktop.FileManager1 was not provided",
         "The name org.freedesktop.FileManager1 was not provided"},
        {"", "AppleScript 执行失败"},
    };
    for (const auto& s : services) {
        for (const auto& [reason, detail] : reasons) {
            desktop_.alerts.clear();
            desktop_.*s.answer = ServiceResult::failure(reason);
            (actions_.*s.action)(hit("/Users/x/a.txt"));
            expectOnlyFailure(s.title, detail, s.title);
            EXPECT_EQ(desktop_.alerts[0].style, AlertStyle::plain);
        }
    }
    EXPECT_FALSE(refreshed());
}

std::string digestOf(const std::string& content) {
    return QCryptographicHash::hash(QByteArray::fromStdString(content), QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

std::string patterned(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
    return s;
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
    test::TempDir dir;
    for (const auto& c : cases) {
        const std::string content = patterned(c.size);
        test::writeFile(dir / "f", content);
        const FileDigest d = sha256File(dir / "f", c.chunkBytes);
        EXPECT_TRUE(d.ok()) << c.size;
        EXPECT_EQ(d.chunks, c.chunks) << c.size;
        EXPECT_EQ(d.hex, digestOf(content)) << c.size;
    }
}

class DigestTest : public ActionsTest {
protected:
    bool waitForAlert() {
        return QTest::qWaitFor([this] { return !desktop_.alerts.empty(); }, 10000);
    }
};

TEST_F(DigestTest, ShowsTheDigestAndCopiesItOnRequest) {
    writeFile(dir_ / "f.bin", "some content");
    for (const auto& [answer, copied] : {std::pair{kFirstButton, true}, std::pair{kFirstButton + 1, false}}) {
        desktop_.alerts.clear();
        desktop_.clipboardText = "before";
        desktop_.alertAnswers = {answer};
        actions_.sha256(hit(dir_ / "f.bin"));
        EXPECT_TRUE(desktop_.alerts.empty()) << "returns before the digest is known";
        ASSERT_TRUE(waitForAlert()) << answer;
        const AlertRequest& alert = desktop_.alerts[0];
        EXPECT_EQ(alert.title, "SHA256");
        EXPECT_EQ(alert.detail, digestOf("some content"));
        EXPECT_EQ(alert.buttons, (std::vector<std::string>{"复制", "关闭"}));
        EXPECT_EQ(desktop_.clipboardText, copied ? digestOf("some content") : "before") << answer;
    }
    EXPECT_FALSE(refreshed());
}

TEST_F(DigestTest, UnreadableItemsGiveTheFailureAlert) {
    std::filesystem::create_directory(dir_ / "folder");
    ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0644), 0);  // would block a naive open()
    for (const std::string& path : {dir_ / "deleted.txt", dir_ / "folder", dir_ / "fifo"}) {
        desktop_.alerts.clear();
        actions_.sha256(hit(path));
        ASSERT_TRUE(waitForAlert()) << path;
        expectOnlyFailure("计算失败", "无法读取文件：\n" + path, path);
    }
    EXPECT_FALSE(desktop_.clipboardText);
}

TEST_F(DigestTest, HashingRunsOffTheMainThread) {
    writeFile(dir_ / "big", std::string(3 * 1024 * 1024, 'x'));
    actions_.sha256(hit(dir_ / "big"));
    // Hashing on the main thread, even with the result queued, would post
    // the result before this event; a worker posts it only later.
    bool mainThreadFree = false;
    QMetaObject::invokeMethod(
        qApp, [&] { mainThreadFree = desktop_.alerts.empty(); }, Qt::QueuedConnection);
    ASSERT_TRUE(waitForAlert());
    EXPECT_TRUE(mainThreadFree);
    EXPECT_EQ(desktop_.alerts[0].detail, digestOf(std::string(3 * 1024 * 1024, 'x')));
}

TEST_F(DigestTest, NothingIsShownOnceTheModelIsGone) {
    writeFile(dir_ / "f", std::string(1024 * 1024, 'y'));
    actions_.sha256(hit(dir_ / "f"));
    model_.reset();
    QThreadPool::globalInstance()->waitForDone();
    QTest::qWait(50);  // deliver the queued result
    EXPECT_TRUE(desktop_.alerts.empty());
}

}  // namespace
}  // namespace qf
