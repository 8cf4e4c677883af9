// Starting the index service at launch when none runs, and following its
// first crawl.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <QFile>
#include <QTest>
#include <cstring>

#include "ui/index_progress.h"
#include "ui/index_service_starter.h"
#include "ui_test_support.h"

namespace qf {
namespace {

class IndexServiceStarterTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::app();
        test::isolateEnvironment(dir, {});
        test::mkdirs(dir, QStringLiteral("index"));
        qputenv("QUILLFIND_INDEX_ROOTS", test::mkdirs(dir, QStringLiteral("roots")).toUtf8());
    }
    void TearDown() override { test::stopIndexService(dir / "index"); }

    test::TempDir dir;
};

TEST_F(IndexServiceStarterTest, SomethingListeningCountsAsRunningAndStartsNothing) {
    EXPECT_FALSE(indexServiceRunning());
    // A socket that accepts connections, as a running service's does.
    const std::string path = dir / "index/indexd.sock";
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    EXPECT_TRUE(indexServiceRunning());
    // Already running: nothing is started, even without any executable.
    EXPECT_TRUE(ensureIndexService(test::at(dir, QStringLiteral("nowhere"))));
    ::close(fd);
    ::unlink(path.c_str());
    EXPECT_FALSE(indexServiceRunning());
}

TEST_F(IndexServiceStarterTest, TheExecutableBesideTheProgramOnlyIfExecutableElseNothingStarts) {
    test::ScopedEnv path("PATH", dir / "empty");
    const QString bin = test::at(dir, QStringLiteral("bin"));
    const QString beside = test::put(dir, QStringLiteral("bin/quillfind-indexd"), "#!/bin/sh\n");
    QFile::setPermissions(beside, QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_EQ(indexServiceExecutable(bin), beside);
    QFile::setPermissions(beside, QFile::ReadOwner);
    EXPECT_EQ(indexServiceExecutable(bin), QString());
    EXPECT_FALSE(ensureIndexService(bin));
    EXPECT_FALSE(indexServiceRunning());
}

TEST_F(IndexServiceStarterTest, StartsTheRealServiceWhoseFirstCrawlEndsThePolling) {
    for (int i = 0; i < 5; ++i) test::put(dir, QStringLiteral("roots/f%1.txt").arg(i), "x");
    const QString binDir = QString::fromStdString(test::binDir());
    ASSERT_TRUE(QFile::exists(binDir + QStringLiteral("/quillfind-indexd"))) << "build quillfind-indexd first";
    EXPECT_TRUE(ensureIndexService(binDir));
    ASSERT_TRUE(QTest::qWaitFor([] { return indexServiceRunning(); }, 10000));
    EXPECT_TRUE(ensureIndexService(binDir));

    IndexProgress progress(std::chrono::milliseconds(50));
    std::vector<std::pair<bool, long long>> answers;
    QObject::connect(&progress, &IndexProgress::statusChanged,
                     [&](bool crawling, long long entries) { answers.emplace_back(crawling, entries); });
    progress.start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !progress.polling(); }, 10000));
    ASSERT_FALSE(answers.empty());
    EXPECT_EQ(answers.back(), std::make_pair(false, 5LL));
}

}  // namespace
}  // namespace qf
