// Starting the index service at launch when none runs.
#include <gtest/gtest.h>

#include <QFile>
#include <QTest>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "ui/index_service_starter.h"
#include "ui_test_support.h"

namespace qf {
namespace {

// A socket that accepts connections, as a running service's does.
class Listener {
public:
    explicit Listener(const std::string& path) : path_(path), fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        listening_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
                     ::listen(fd_, 4) == 0;
    }
    ~Listener() { close(); }
    bool listening() const { return listening_; }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        ::unlink(path_.c_str());
    }

private:
    std::string path_;
    int fd_;
    bool listening_ = false;
};

class IndexServiceStarterTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::app();
        test::isolateEnvironment(box, {});
        box.makeFolder(QStringLiteral("index"));
        qputenv("QUILLFIND_INDEX_ROOTS", box.makeFolder(QStringLiteral("roots")).toUtf8());
    }
    void TearDown() override {
        if (startedPid > 0) {
            ::kill(startedPid, SIGTERM);
            QTest::qWaitFor([] { return !indexServiceRunning(); }, 5000);
        }
    }

    test::Sandbox box;
    pid_t startedPid = 0;
};

TEST_F(IndexServiceStarterTest, NothingRunsWithoutASocket) { EXPECT_FALSE(indexServiceRunning()); }

TEST_F(IndexServiceStarterTest, SomethingListeningCountsAsRunning) {
    Listener server(box.path(QStringLiteral("index/indexd.sock")).toStdString());
    ASSERT_TRUE(server.listening());
    EXPECT_TRUE(indexServiceRunning());
    // Already running: nothing is started, even without any executable.
    EXPECT_TRUE(ensureIndexService(box.path(QStringLiteral("nowhere"))));
    server.close();
    EXPECT_FALSE(indexServiceRunning());
}

TEST_F(IndexServiceStarterTest, ExecutableBesideTheProgramComesFirst) {
    const QString beside = box.writeFile(QStringLiteral("bin/quillfind-indexd"), "#!/bin/sh\n");
    QFile::setPermissions(beside, QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_EQ(indexServiceExecutable(box.path(QStringLiteral("bin"))), beside);
    // Not executable: not taken.
    QFile::setPermissions(beside, QFile::ReadOwner);
    EXPECT_NE(indexServiceExecutable(box.path(QStringLiteral("bin"))), beside);
}

TEST_F(IndexServiceStarterTest, MissingExecutableStartsNothing) {
    qputenv("PATH", box.path(QStringLiteral("empty")).toUtf8());
    EXPECT_FALSE(ensureIndexService(box.path(QStringLiteral("nowhere"))));
    EXPECT_FALSE(indexServiceRunning());
}

TEST_F(IndexServiceStarterTest, StartsTheRealServiceWhenNoneRuns) {
    const QString binDir = qEnvironmentVariable("QF_BIN_DIR");
    if (binDir.isEmpty() || !QFile::exists(binDir + QStringLiteral("/quillfind-indexd")))
        GTEST_SKIP() << "quillfind-indexd is not built beside the tests";
    ASSERT_FALSE(indexServiceRunning());
    EXPECT_TRUE(ensureIndexService(binDir));
    ASSERT_TRUE(QTest::qWaitFor([] { return indexServiceRunning(); }, 10000));
    // The service writes its process id into its lock file.
    QFile lock(box.path(QStringLiteral("index/indexd.lock")));
    ASSERT_TRUE(lock.open(QIODevice::ReadOnly));
    startedPid = static_cast<pid_t>(lock.readAll().trimmed().toLongLong());
    ASSERT_GT(startedPid, 0);
    // A second launch finds it and starts no other.
    EXPECT_TRUE(ensureIndexService(binDir));
}

}  // namespace
}  // namespace qf
