// The socket server's connections: a bound on how many run at once, a
// thread that cannot start, and a stop that ends every one of them.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <atomic>

#include "base/unix_socket.h"
#include "index/client/client.h"
#include "index/service/server.h"
#include "index/service/service.h"
#include "index_test_support.h"

namespace qf::index {
namespace {

namespace fs = std::filesystem;

// A service that is never started (its status needs no crawl) behind a
// server that runs on a thread of the test until the end.
class ServerTest : public ::testing::Test {
protected:
    void start(ServerOptions serverOptions) {
        fs::create_directories(dir / "root");
        ServiceOptions o;
        o.roots = {dir / "root"};
        service = std::make_unique<Service>(o);
        server = std::make_unique<Server>(*service, std::move(serverOptions));
        auto listening = server->listen(socket());
        ASSERT_TRUE(listening) << listening.error().message();
        running = std::thread([this] { server->run(); });
    }
    void TearDown() override {
        if (server) server->stop();
        if (running.joinable()) running.join();
    }
    std::string socket() const { return dir / "indexd.sock"; }
    Expected<ServiceStatus> ask() const { return queryStatus(socket(), std::chrono::seconds(10)); }
    // A connection that asks nothing: its thread waits for the request.
    UniqueFd idle() const {
        auto fd = connectUnixSocket(socket());
        EXPECT_TRUE(fd);
        return fd ? std::move(*fd) : UniqueFd();
    }

    testing::TempDir dir;
    std::unique_ptr<Service> service;
    std::unique_ptr<Server> server;
    std::thread running;
};

TEST_F(ServerTest, AConnectionOverTheBoundIsToldTheServiceIsBusyUntilAPlaceFrees) {
    start({.maxConnections = 2, .busyWait = std::chrono::milliseconds(50)});
    UniqueFd first = idle(), second = idle();
    auto refused = ask();
    ASSERT_FALSE(refused);
    EXPECT_TRUE(refused.error() == Errc::refused) << refused.error().message();
    EXPECT_NE(refused.error().message().find("busy: 2 questions at once"), std::string::npos)
        << refused.error().message();
    first.reset();  // its thread ends and leaves a place
    EXPECT_TRUE(testing::pollUntil([&] { return ask().hasValue(); }));
}

TEST_F(ServerTest, AConnectionWhoseThreadCannotStartIsRefusedAndTheNextIsAnswered) {
    std::atomic<int> starts = 0;
    start({.startThread = [&](std::function<void()> work) {
        if (++starts == 1) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        return std::thread(std::move(work));
    }});
    auto refused = ask();
    ASSERT_FALSE(refused);
    EXPECT_TRUE(refused.error() == Errc::refused) << refused.error().message();
    EXPECT_NE(refused.error().message().find("cannot take this question now"), std::string::npos);
    auto answered = ask();
    ASSERT_TRUE(answered) << answered.error().message();
    EXPECT_EQ(answered->pid, ::getpid());
}

TEST_F(ServerTest, StopEndsTheConnectionsInFlightAndJoinsTheirThreads) {
    start({.requestTimeout = std::chrono::hours(1)});  // only the stop can end this wait in time
    UniqueFd waiting = idle();
    ASSERT_TRUE(ask());  // the idle one has been accepted before this answer
    server->stop();
    running.join();  // returns only once every connection thread has ended
    char c;
    EXPECT_EQ(::recv(waiting.get(), &c, 1, MSG_DONTWAIT), 0) << "shut down, not left waiting";
    EXPECT_FALSE(fs::exists(socket()));
}

}  // namespace
}  // namespace qf::index
