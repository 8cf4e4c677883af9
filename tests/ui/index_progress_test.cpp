// The index service's status answer, as the status line polls it.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cstring>
#include <thread>

#include "ui/index_progress.h"
#include "ui_test_support.h"

namespace qf {
namespace {

TEST(IndexStatusText, OnlyStateAndEntriesLinesCount) {
    struct Case {
        const char* text;
        std::optional<std::pair<bool, long long>> expected;
    };
    const Case cases[] = {
        {"state: crawling\nentries: 1234\nfolders scanned: 9 (queued: 3)\n", std::pair{true, 1234LL}},
        {"memory: 1 MB\nstate: idle\nentries: 0\n", std::pair{false, 0LL}},
        {"entries: 7\nstate: idle", std::pair{false, 7LL}},
        {"state: sleeping\nentries: 7\n", std::nullopt},
        {"state: idle\n", std::nullopt},
        {"state: idle\nentries: 12x\n", std::nullopt},
        {"state: idle\nentries: -3\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        const auto status = parseIndexStatus(c.text);
        ASSERT_EQ(status.has_value(), c.expected.has_value()) << c.text;
        if (!status) continue;
        EXPECT_EQ(status->crawling, c.expected->first) << c.text;
        EXPECT_EQ(status->entries, c.expected->second) << c.text;
    }
}

// A stand-in service that answers one status request with `reply`, which
// may arrive in pieces.
class FakeService {
public:
    FakeService(const std::string& path, std::string reply) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 && ::listen(fd_, 1) == 0;
        thread_ = std::thread([this, reply = std::move(reply)] {
            const int client = ::accept(fd_, nullptr, nullptr);
            if (client < 0) return;
            char buffer[256];
            for (ssize_t n;
                 !received_.ends_with(std::string(2, '\0')) && (n = ::recv(client, buffer, sizeof buffer, 0)) > 0;)
                received_.append(buffer, static_cast<std::size_t>(n));
            for (std::size_t i = 0; i < reply.size(); i += 7) {
                ::send(client, reply.data() + i, std::min<std::size_t>(7, reply.size() - i), MSG_NOSIGNAL);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            ::close(client);
        });
    }
    ~FakeService() {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    bool bound() const { return bound_; }

private:
    int fd_ = -1;
    bool bound_ = false;
    std::string received_;
    std::thread thread_;
};

TEST(IndexStatusQuery, ReadsTheWholeAnswerAndRefusesABrokenOne) {
    test::TempDir dir;
    const std::string path = dir / "indexd.sock";
    const std::string crawling = std::string("Sstate: crawling\nentries: 98765\n\0E0\0", 36);
    {
        FakeService service(path, crawling);
        ASSERT_TRUE(service.bound());
        const auto status = queryIndexStatus(path, std::chrono::seconds(5));
        ASSERT_TRUE(status);
        EXPECT_TRUE(status->crawling);
        EXPECT_EQ(status->entries, 98765);
    }
    ::unlink(path.c_str());
    {
        // Closed before the end record: not an answer.
        FakeService service(path, crawling.substr(0, 20));
        ASSERT_TRUE(service.bound());
        EXPECT_FALSE(queryIndexStatus(path, std::chrono::seconds(5)));
    }
    ::unlink(path.c_str());
    EXPECT_FALSE(queryIndexStatus(path, std::chrono::seconds(1))) << "nothing listens";
}

}  // namespace
}  // namespace qf
