// mdfind --verify against a service whose folders are not watched (one
// watch allowed, rescans an hour apart): what is changed on disk stays
// unknown to the index, and --verify must find exactly that; and the
// background check must find and repair it by itself.
#include <gtest/gtest.h>

#include "index_test_support.h"

namespace qf::index {
namespace {

using testing::ProcessResult;
using testing::sorted;
using testing::splitLines;
using testing::touch;
namespace fs = std::filesystem;

class VerifyTest : public ::testing::Test {
protected:
    VerifyTest() {
        world.extraEnv = {{"QUILLFIND_INDEX_FANOTIFY", "0"},
                          {"QUILLFIND_INDEX_MAX_WATCHES", "1"},
                          {"QUILLFIND_INDEX_RESCAN_SECONDS", "3600"}};
    }
    // The difference lines (the summary apart), sorted, with the exit code.
    std::pair<int, std::vector<std::string>> verify(std::vector<std::string> args = {}) {
        args.push_back("--verify");
        ProcessResult r = world.mdfind(args);
        std::vector<std::string> lines = splitLines(r.out);
        EXPECT_FALSE(lines.empty()) << r.err;
        if (lines.empty()) return {r.exitCode, {}};
        EXPECT_EQ(lines.back().rfind("verified ", 0), 0u) << r.out;
        lines.pop_back();
        return {r.exitCode, sorted(lines)};
    }
    std::string line(const std::string& kind, const std::string& rel) { return kind + ": " + world.file(rel); }
    testing::ServiceWorld world;
};

TEST_F(VerifyTest, ReportsEachDifferenceThatLastsAndNothingElse) {
    for (const char* f : {"a/f1", "a/f2", "a/sub/x", "b/g"}) touch(world.file(f));
    ASSERT_TRUE(world.start());
    ASSERT_NE(world.status().find("unwatched folders: 3"), std::string::npos) << world.status();
    EXPECT_EQ(verify(), std::make_pair(0, std::vector<std::string>{}));

    touch(world.file("a/new"));
    fs::create_directory(world.file("a/newdir"));
    fs::remove(world.file("a/f1"));
    ASSERT_TRUE(testing::setChangeTime(world.file("a/f2"), 1000000000));
    fs::remove(world.file("a/sub/x"));
    fs::create_directory(world.file("a/sub/x"));
    const std::vector<std::string> inSub = {line("changed", "a/sub"), line("changed", "a/sub/x")};
    std::vector<std::string> all = {line("changed", "a"), line("missing", "a/new"), line("missing", "a/newdir"),
                                    line("extra", "a/f1"), line("changed", "a/f2")};
    all.insert(all.end(), inSub.begin(), inSub.end());
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::vector<std::string> lines;
    } cases[] = {
        {{}, 1, sorted(all)},
        {{"-onlyin", world.file("b")}, 0, {}},
        {{"-onlyin", world.file("a/sub"), "-onlyin", world.file("b")}, 1, sorted(inSub)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        EXPECT_EQ(verify(c.args), std::make_pair(c.exitCode, c.lines));
    }
    ProcessResult outside = world.mdfind({"-onlyin", world.file("../idx"), "--verify"});
    EXPECT_EQ(outside.exitCode, 2);
    EXPECT_EQ(splitLines(outside.err).size(), 1u) << outside.err;
}

// Verify lists by the index's own rules: what the settings leave out and
// the pruned top folders of the system root are no difference.
TEST_F(VerifyTest, FollowsTheIndexRules) {
    world.extraEnv["QUILLFIND_INDEX_ROOTS"] = "";
    world.extraEnv["QUILLFIND_INDEX_SYSTEM_ROOT"] = world.root();
    world.writeSettings("exclude = node_modules " + world.file("skip") + "\nhidden = no\n");
    for (const char* f : {"c/node_modules/m", "c/.hid", "c/k", "skip/s", "proc/p", "run/r"}) touch(world.file(f));
    ASSERT_TRUE(world.start());
    ASSERT_NE(world.status().find("unwatched folders: 1"), std::string::npos) << world.status();
    // Also when made after the crawl, in folders not watched (c's own time
    // moves, unknown to the index).
    for (const char* f : {"c/node_modules/m2", "c/.hid2", "skip/s2", "proc/p2", "run/r2"}) touch(world.file(f));
    EXPECT_EQ(verify(), std::make_pair(1, std::vector<std::string>{line("changed", "c")}));
}

// Files added while the service was down, their folders' times put back:
// the catch-up at start trusts those times and misses them, as it would a
// lost event. The background check must find and repair each, and count it.
TEST_F(VerifyTest, TheBackgroundCheckRepairsWhatNoEventReported) {
    for (const char* f : {"a/f1", "b/sub/g"}) touch(world.file(f));
    // Old enough for the crawl to trust, as it does not a time of just now.
    const time_t old = std::time(nullptr) - 9 * 86400;
    const char* folders[] = {"a", "b/sub"};
    for (const char* folder : folders) ASSERT_TRUE(testing::setChangeTime(world.file(folder), old));
    ASSERT_TRUE(world.start());
    world.stopService();
    const std::vector<std::string> planted = {"a/new1", "a/new2", "b/sub/new3"};
    for (const std::string& f : planted) touch(world.file(f));
    for (const char* folder : folders) ASSERT_TRUE(testing::setChangeTime(world.file(folder), old));
    world.extraEnv["QUILLFIND_INDEX_SCRUB_SECONDS"] = "1";
    ASSERT_TRUE(world.start());
    const std::string repaired = "; 3 repaired since the service started (a pass takes 1 s)";
    EXPECT_TRUE(testing::pollUntil(
        [&] {
            const std::string status = world.status();
            return status.find("last check: ended") != std::string::npos && status.find(repaired) != std::string::npos;
        },
        std::chrono::seconds(30)))
        << world.status();
    EXPECT_TRUE(testing::pollUntil([&] { return world.found("new") == world.files(planted); })) << "found";
    EXPECT_EQ(verify(), std::make_pair(0, std::vector<std::string>{}));
    EXPECT_NE(world.status().find(repaired), std::string::npos) << "nothing counted twice\n" << world.status();
}

}  // namespace
}  // namespace qf::index
