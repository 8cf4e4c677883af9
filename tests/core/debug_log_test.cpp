#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <set>
#include <thread>

#include "core/core_test_support.h"
#include "core/debug_log.h"

namespace qf {
namespace {

using ::testing::ElementsAre;

long long nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

class DebugLogTest : public ::testing::Test {
protected:
    void SetUp() override { test::clearDebugLog(); }
};

TEST_F(DebugLogTest, NeverTouchesTheRealLogInTests) {
    EXPECT_EQ(debugLogPath(), test::debugLogFile());
    test::ScopedEnv unset("QUILLFIND_DEBUG_LOG", nullptr);
    EXPECT_EQ(debugLogPath(), "/tmp/quillfind-debug.log");
}

TEST_F(DebugLogTest, FirstCallCreatesTheFileWithOneTimedLine) {
    const long long before = nowMs();
    dbg("tok 'report' -> 12 lines");
    const long long after = nowMs();
    const std::string content = test::readFile(test::debugLogFile());
    std::smatch m;
    ASSERT_TRUE(std::regex_match(content, m, std::regex("([0-9]+)ms tok 'report' -> 12 lines\n"))) << content;
    const long long stamp = std::stoll(m[1]);
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);
}

TEST_F(DebugLogTest, AppendsAfterEarlierContentInCallOrder) {
    test::writeFile(test::debugLogFile(), "earlier run\n");
    dbg("one");
    dbg("two\n");
    dbg("");
    EXPECT_THAT(test::debugMessages(), ElementsAre("earlier run", "one", "two", "", ""));
}

TEST_F(DebugLogTest, ConcurrentLinesStayWholeAndNoneIsLost) {
    constexpr int threads = 8;
    constexpr int perThread = 200;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([t] {
            for (int i = 0; i < perThread; ++i) dbg("t" + std::to_string(t) + " line " + std::to_string(i));
        });
    }
    for (auto& th : pool) th.join();
    const auto messages = test::debugMessages();
    ASSERT_EQ(messages.size(), static_cast<std::size_t>(threads * perThread));
    const std::set<std::string> distinct(messages.begin(), messages.end());
    EXPECT_EQ(distinct.size(), messages.size());
    for (int t = 0; t < threads; ++t) EXPECT_TRUE(distinct.count("t" + std::to_string(t) + " line 199"));
}

TEST_F(DebugLogTest, DoesNotFollowALinkPlantedAtTheLogPath) {
    test::TempDir dir;
    const std::string target = dir.file("victim");
    test::writeFile(target, "precious\n");
    std::filesystem::create_symlink(target, test::debugLogFile());
    dbg("should not land");
    EXPECT_EQ(test::readFile(target), "precious\n");
}

TEST_F(DebugLogTest, UnwritableLogLosesOnlyTheLine) {
    test::ScopedEnv elsewhere("QUILLFIND_DEBUG_LOG", "/nonexistent-dir/quillfind.log");
    dbg("lost");  // must neither throw nor crash
    EXPECT_FALSE(std::filesystem::exists("/nonexistent-dir/quillfind.log"));
}

}  // namespace
}  // namespace qf
