#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <regex>
#include <thread>

#include "core/core_test_support.h"
#include "core/debug_log.h"

namespace qf {
namespace {

// A private file, created as the threads race to it, then each message
// appended as given, on a whole line of its own.
TEST(DebugLog, ConcurrentLinesStayWholeInAPrivateFile) {
    test::clearDebugLog();
    test::Lines expected = {"two", "", ""};
    std::atomic<int> ready{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < 8; ++t) {
        for (int i = 0; i < 200; ++i) expected.push_back("t" + std::to_string(t) + " line " + std::to_string(i));
        pool.emplace_back([t, &ready] {
            for (++ready; ready < 8;) std::this_thread::yield();  // all start together
            for (int i = 0; i < 200; ++i) dbg("t" + std::to_string(t) + " line " + std::to_string(i));
        });
    }
    for (auto& th : pool) th.join();
    dbg("two\n");  // as given: its own line end, then the log's
    dbg("");
    struct stat st {};
    ASSERT_EQ(::stat(test::debugLogFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);  // the queries stay private
    // Wall-clock milliseconds have 13 digits until the year 2286; seconds,
    // microseconds or time since boot have not.
    const std::regex whole("([0-9]{13}ms (t[0-9] line [0-9]+|two|))?");
    for (const auto& line : test::linesOf(test::readFile(test::debugLogFile())))
        ASSERT_TRUE(std::regex_match(line, whole)) << line;
    auto messages = test::debugMessages();
    std::sort(messages.begin(), messages.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(messages, expected);
}

// Whatever another user may have planted at the log path gets no query: the
// program logs nothing there and works on.
TEST(DebugLog, WritesOnlyToAPrivateFileOfItsOwn) {
    test::TempDir dir;
    const std::string log = test::debugLogFile(), victim = dir / "victim";
    const auto plantFile = [&](mode_t mode) {
        test::writeFile(log, "planted\n");
        return ::chmod(log.c_str(), mode) == 0;
    };
    // Each plant says whether it could be made here (a foreign owner needs root).
    const std::vector<std::pair<std::string, std::function<bool()>>> plants = {
        {"link", [&] { return ::symlink(victim.c_str(), log.c_str()) == 0; }},
        {"world-writable", [&] { return plantFile(0666); }},
        {"second name", [&] { return plantFile(0600) && ::link(log.c_str(), (dir / "other name").c_str()) == 0; }},
        {"fifo", [&] { return ::mkfifo(log.c_str(), 0600) == 0; }},
        // Owned by someone else: only root can give a file away, and the
        // owner must not be the user running the test (nobody, say).
        {"foreign owner",
         [&] {
             const uid_t other = ::geteuid() == 65534 ? 65533 : 65534;
             return plantFile(0600) && ::chown(log.c_str(), other, other) == 0;
         }},
    };
    for (const auto& [name, plant] : plants) {
        SCOPED_TRACE(name);
        test::clearDebugLog();
        ::unlink((dir / "other name").c_str());
        test::writeFile(victim, "precious\n");
        const bool planted = plant();
        if (!planted && name == "foreign owner") continue;
        ASSERT_TRUE(planted);
        dbg("secret query");
        EXPECT_EQ(test::readFile(victim), "precious\n");
        if (name != "link" && name != "fifo") {
            EXPECT_EQ(test::readFile(log), "planted\n");
        }
    }
}

}  // namespace
}  // namespace qf
