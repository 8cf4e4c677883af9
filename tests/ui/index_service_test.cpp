// Asking the index service how far its first crawl is, and starting it at
// launch when none runs.
#include <gtest/gtest.h>

#include <QThreadPool>

#include <index_protocol.h>
#include <sys/socket.h>
#include <QTest>
#include <future>
#include <thread>

#include "base/unix_socket.h"
#include "ui/index_progress.h"
#include "ui/index_service_starter.h"
#include "ui_test_support.h"

namespace qf {
namespace {

// A status answer as the service sends it: one status record, then the end.
std::string statusReply(const std::string& text) {
    return protocol::kTagStatus + text + '\0' + protocol::kTagEnd + "0" + '\0';
}

// Stands in for the service on `path` for one status request, sending
// `reply` in pieces of a few bytes, and returns what the query made of it.
std::optional<IndexStatus> askFakeService(const std::string& path, const std::string& reply) {
    auto address = unixSocketAddress(path);
    UniqueFd listening(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    EXPECT_EQ(::bind(listening.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof(sockaddr_un)), 0);
    EXPECT_EQ(::listen(listening.get(), 1), 0);
    auto answer = std::async(std::launch::async, [&] { return queryIndexStatus(path, std::chrono::seconds(5)); });
    UniqueFd client(::accept(listening.get(), nullptr, nullptr));
    std::string request;
    for (char c; !request.ends_with(std::string(2, '\0')) && ::recv(client.get(), &c, 1, 0) == 1;) request += c;
    for (std::size_t i = 0; i < reply.size(); i += 7) {
        ::send(client.get(), reply.data() + i, std::min<std::size_t>(7, reply.size() - i), MSG_NOSIGNAL);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    client.reset();
    ::unlink(path.c_str());
    return answer.get();
}

TEST(IndexStatus, AWholeAnswerWithValidStateAndEntriesLinesCounts) {
    const std::pair<std::string, std::optional<std::pair<bool, long long>>> cases[] = {
        {statusReply("state: crawling\nentries: 98765\nfolders scanned: 9 (queued: 3)\n"), std::pair{true, 98765LL}},
        {statusReply("memory: 1 MB\nstate: idle\nentries: 0\n"), std::pair{false, 0LL}},
        {statusReply("entries: 7\nstate: idle"), std::pair{false, 7LL}},
        {statusReply("state: sleeping\nentries: 7\n"), std::nullopt},
        {statusReply("state: idle\n"), std::nullopt},
        {statusReply("state: idle\nentries: 12x\n"), std::nullopt},
        {statusReply("state: idle\nentries: -3\n"), std::nullopt},
        {statusReply(""), std::nullopt},
        // The status record whole, then closed before the end record.
        {statusReply("state: idle\nentries: 7\n").substr(0, 25), std::nullopt},
    };
    test::TempDir dir;
    for (const auto& [reply, expected] : cases) {
        SCOPED_TRACE(reply);
        const auto status = askFakeService(dir / "indexd.sock", reply);
        ASSERT_EQ(status.has_value(), expected.has_value());
        if (status) {
            EXPECT_EQ(std::pair(status->crawling, status->entries), *expected);
        }
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
    EXPECT_FALSE(indexServiceRunning());

    EXPECT_TRUE(ensureIndexService(QString::fromStdString(test::binDir())));
    ASSERT_TRUE(QTest::qWaitFor([] { return indexServiceRunning(); }, 10000));

    IndexProgress progress(std::chrono::milliseconds(50));
    std::vector<std::pair<bool, long long>> answers;
    QObject::connect(&progress, &IndexProgress::statusChanged,
                     [&](bool crawling, long long entries) { answers.emplace_back(crawling, entries); });
    progress.start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !progress.polling(); }, 10000));
    ASSERT_FALSE(answers.empty());
    EXPECT_EQ(answers.back(), std::make_pair(false, 5LL));
    // The start runs on Qt's pool and may still be waiting for the socket;
    // stopped under it, the service would be started again after the test.
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(15000));
}

}  // namespace
}  // namespace qf
