// sha256: hashed off the main thread, shown back on it.
#include <QCryptographicHash>
#include <filesystem>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#include "actions_fixture.h"

namespace qf {
namespace {

using test::ActionsTest;
using test::writeFile;

class DigestTest : public ActionsTest {
protected:
    // Waits for the queued result to reach the desktop.
    bool waitForAlert() {
        return QTest::qWaitFor([this] { return !desktop_.alerts.empty(); }, 10000);
    }
};

std::string digestOf(const std::string& content) {
    return QCryptographicHash::hash(QByteArray::fromStdString(content), QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

TEST_F(DigestTest, ShowsTheDigestAndCopiesItOnRequest) {
    struct Case {
        const char* what;
        int answer;
        bool copied;
    };
    const Case cases[] = {{"复制", kFirstButton, true}, {"关闭", kFirstButton + 1, false}};
    writeFile(dir_ / "f.bin", "some content");
    for (const Case& c : cases) {
        desktop_.alerts.clear();
        desktop_.clipboardText = "before";
        desktop_.alertAnswers = {c.answer};
        actions_.sha256(hit(dir_ / "f.bin"));
        EXPECT_TRUE(desktop_.alerts.empty()) << "returns before the digest is known";
        ASSERT_TRUE(waitForAlert()) << c.what;
        const AlertRequest& alert = desktop_.alerts[0];
        EXPECT_EQ(alert.title, "SHA256");
        EXPECT_EQ(alert.detail, digestOf("some content"));
        EXPECT_EQ(alert.buttons, (std::vector<std::string>{"复制", "关闭"}));
        EXPECT_EQ(desktop_.clipboardText, c.copied ? digestOf("some content") : "before") << c.what;
    }
    EXPECT_FALSE(refreshed());
}

TEST_F(DigestTest, UnreadableItemsGiveTheFailureAlert) {
    std::filesystem::create_directory(dir_ / "folder");
    for (const std::string& path : {dir_ / "deleted.txt", dir_ / "folder"}) {
        desktop_.alerts.clear();
        actions_.sha256(hit(path));
        ASSERT_TRUE(waitForAlert()) << path;
        EXPECT_EQ(desktop_.alerts[0].title, "计算失败");
        EXPECT_EQ(desktop_.alerts[0].detail, "无法读取文件：\n" + path);
        EXPECT_EQ(desktop_.alerts[0].buttons, std::vector<std::string>{"好"});
    }
    EXPECT_FALSE(desktop_.clipboardText);
}

TEST_F(DigestTest, HashingRunsOffTheMainThread) {
    writeFile(dir_ / "big", std::string(3 * 1024 * 1024, 'x'));
    actions_.sha256(hit(dir_ / "big"));
    // Hashing on the main thread, even with the result queued, would post
    // the result before this event; a worker posts it only later.
    bool mainThreadFree = false;
    QMetaObject::invokeMethod(qApp, [&] { mainThreadFree = desktop_.alerts.empty(); }, Qt::QueuedConnection);
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
