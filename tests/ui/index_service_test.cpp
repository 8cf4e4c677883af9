// Asking the index service how far its first crawl is, and starting it at
// launch when none runs.
#include <QTest>
#include <QThreadPool>
#include <tuple>

#include "base/index_service.h"
#include "index/client/wire.h"
#include "index/index_test_support.h"
#include "protocol/index_protocol.h"
#include "ui/index_progress.h"
#include "ui/index_service_starter.h"
#include "ui_test_support.h"

namespace qf {
namespace {

std::string statusReply(const std::vector<std::string>& fields) {
    std::string reply;
    for (const std::string& f : fields) reply += index::replyRecord(protocol::kTagStatusField, f);
    return reply + index::replyRecord(protocol::kTagEnd, "0");
}

// What the status line is told: crawling, entries, folders not read yet.
using Answer = std::tuple<bool, long long, long long>;

TEST(IndexProgress, ReportsUntilTheIndexIsCompleteAndTakesAnUntoldStateForNoAnswer) {
    test::app();
    using Answers = std::vector<Answer>;
    using Settings = std::vector<std::pair<std::string, bool>>;
    const struct {
        const char* name;
        std::vector<std::string> replies;
        Answers expected;
        Settings settings;
    } cases[] = {
        // Idle, but short of folders: followed until they are read.
        {"crawl ended short of two folders, read later",
         {statusReply({"crawling=1", "entries=3"}),
          statusReply({"entries=5", "crawling=0", "unlisted-folders=2", "pid=1"}),
          statusReply({"crawling=0", "entries=9", "unlisted-folders=0"})},
         {{true, 3, 0}, {false, 5, 2}, {false, 9, 0}},
         {{"", false}, {"", false}, {"", false}}},
        {"no entries said", {statusReply({"crawling=0"})}, {}, {}},
        {"no state said", {statusReply({"entries=4"})}, {}, {}},
        {"refused, then answered",
         {index::replyRecord(protocol::kTagEnd, "busy"), statusReply({"crawling=0", "entries=1"})},
         {{false, 1, 0}},
         {{"", false}}},
        // Idle, but held: followed until the file can be used.
        {"settings cannot be used, then can",
         {statusReply({"crawling=0", "entries=0", "settings-failure=too large", "settings-held=1"}),
          statusReply({"crawling=0", "entries=0", "settings-failure=too large", "settings-held=0"}),
          statusReply({"crawling=0", "entries=2"})},
         {{false, 0, 0}, {false, 0, 0}, {false, 2, 0}},
         {{"too large", true}, {"too large", false}, {"", false}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        test::ScopedEnv index("QUILLFIND_INDEX_DIR", dir.path());
        index::testing::FakeService service(protocol::socketPath(), c.replies);
        // Each ask waits one interval for its answer: long enough for a busy machine.
        IndexProgress progress(std::chrono::milliseconds(300), std::chrono::milliseconds(900));
        Answers answers;
        Settings settings;
        QObject::connect(&progress, &IndexProgress::statusChanged,
                         [&](bool crawling, long long entries, long long unlisted) {
                             answers.emplace_back(crawling, entries, unlisted);
                         });
        QObject::connect(&progress, &IndexProgress::settingsChanged, [&](const QString& failure, bool held) {
            settings.emplace_back(failure.toStdString(), held);
        });
        progress.start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !progress.polling(); }, 10000));
        EXPECT_EQ(answers, c.expected);
        EXPECT_EQ(settings, c.settings);
    }
}

TEST(IndexServiceStarter, StartsTheRealServiceWhoseFirstCrawlEndsThePolling) {
    test::app();
    test::TempDir dir;
    for (int i = 0; i < 5; ++i) test::put(dir, QStringLiteral("roots/f%1.txt").arg(i), "x");
    test::ScopedEnv index("QUILLFIND_INDEX_DIR", test::mkdirs(dir, QStringLiteral("index")).toStdString());
    test::ScopedEnv roots("QUILLFIND_INDEX_ROOTS", dir / "roots");
    struct StopService {
        std::string indexDir;
        ~StopService() { test::stopIndexService(indexDir); }
    } stop{dir / "index"};
    EXPECT_FALSE(indexServiceListening());

    EXPECT_TRUE(ensureIndexService(QString::fromStdString(test::binDir())));
    ASSERT_TRUE(QTest::qWaitFor([] { return indexServiceListening(); }, 10000));

    IndexProgress progress(std::chrono::milliseconds(50));
    Answer last{true, 0, 0};
    QObject::connect(&progress, &IndexProgress::statusChanged,
                     [&](bool crawling, long long entries, long long unlisted) {
                         last = {crawling, entries, unlisted};
                     });
    progress.start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !progress.polling(); }, 10000));
    EXPECT_EQ(last, Answer(false, 5, 0));
    // The start runs on Qt's pool and may still be waiting for the socket;
    // stopped under it, the service would be started again after the test.
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(15000));
}

}  // namespace
}  // namespace qf
