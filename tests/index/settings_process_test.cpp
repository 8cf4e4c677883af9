// What the user chooses to index (index.conf) and the disks that come and
// go, with the real service on a temporary tree.
#include <gtest/gtest.h>

#include "index_test_support.h"

namespace qf::index {
namespace {

using testing::pollUntil;
using testing::touch;
namespace fs = std::filesystem;

class SettingsProcessTest : public ::testing::Test {
protected:
    void start() { ASSERT_TRUE(world.start()); }
    // The file's roots count only where QUILLFIND_INDEX_ROOTS is not set;
    // the default root is then the tree's root.
    void useDefaultRoots() {
        world.extraEnv = {{"QUILLFIND_INDEX_ROOTS", ""}, {"QUILLFIND_INDEX_SYSTEM_ROOT", world.root()}};
    }
    std::string withRoot(std::string text) {
        for (size_t at; (at = text.find("ROOT")) != std::string::npos;) text.replace(at, 4, world.root());
        return text;
    }
    // Written whole and renamed over, as editors do; "ROOT" stands for the tree's root.
    void writeSettings(const std::string& text) {
        fs::create_directories(fs::path(world.settingsFile()).parent_path());
        qf::test::writeFile(world.settingsFile() + ".new", withRoot(text));
        fs::rename(world.settingsFile() + ".new", world.settingsFile());
    }
    std::vector<std::string> found(const std::string& text) { return world.lines({"-name", text}); }
    std::vector<std::string> files(const std::vector<std::string>& rel) { return world.files(rel); }
    std::string status() { return world.mdfind({"--status"}).out; }
    testing::ServiceWorld world;
};

const std::vector<std::string> kTree = {"a/node_modules/x.txt", "a/.hidden/h.txt", "a/.dot.txt",
                                        "keep/k.txt",           "skip/s.txt",      "sp ace/z.txt"};

TEST_F(SettingsProcessTest, EachKeyIsAppliedWithoutRestart) {
    useDefaultRoots();
    for (const std::string& f : kTree) touch(world.file(f));
    start();
    ASSERT_EQ(found(".txt"), files(kTree));
    EXPECT_NE(status().find("setting exclude: nothing"), std::string::npos) << status();
    pid_t pid = world.servicePid();
    auto apply = [&](const std::string& settings, const std::vector<std::string>& indexed, const std::string& line) {
        writeSettings(settings);
        EXPECT_TRUE(pollUntil([&] { return found(".txt") == files(indexed); })) << settings << "\n" << status();
        const std::string st = status();
        EXPECT_NE(st.find(withRoot(line)), std::string::npos) << st;
        EXPECT_EQ(st.find("settings error") != std::string::npos, line.find("error") != std::string::npos) << st;
    };
    apply("exclude = ROOT/skip \"sp ace\"\nexclude = .dot.txt\n",
          {"a/node_modules/x.txt", "a/.hidden/h.txt", "a/.dot.txt", "keep/k.txt"},
          "setting exclude: \"sp ace\" .dot.txt ROOT/skip");
    apply("exclude = node_modules\nhidden = no\nnetwork = yes\n", {"keep/k.txt", "skip/s.txt", "sp ace/z.txt"},
          "setting network: yes");
    // Left out while excluded, also when created meanwhile.
    touch(world.file("b/node_modules/new.txt"));
    touch(world.file("b/seen.txt"));
    EXPECT_TRUE(pollUntil([&] { return found("seen.txt").size() == 1; }));
    EXPECT_TRUE(found("new.txt").empty());
    // What is let in again comes back, though no folder time moved.
    std::vector<std::string> all = kTree;
    all.insert(all.end(), {"b/node_modules/new.txt", "b/seen.txt"});
    apply("exclude = sp\n", all, "setting exclude: sp\n");
    apply("roots = ROOT/keep:ROOT/b\n", {"b/node_modules/new.txt", "b/seen.txt", "keep/k.txt"},
          "setting roots: ROOT/keep:ROOT/b");
    // A root that is no folder is reported, not silently left out.
    apply("roots = ROOT/keep:ROOT/gone\n", {"keep/k.txt"}, "settings error: the root 'ROOT/gone' is not a folder");
    EXPECT_EQ(world.servicePid(), pid);
}

TEST_F(SettingsProcessTest, AMalformedFileIsReportedAndItsGoodLinesKept) {
    useDefaultRoots();
    for (const std::string& f : kTree) touch(world.file(f));
    writeSettings("# mine\nexclude = node_modules\nbogus line\nhidden = maybe\nexclude = \"open\nroots = ROOT/a\n");
    start();
    std::string st = status();
    for (const char* line : {"settings error: line 3: ", "settings error: line 4: hidden must be",
                             "settings error: line 5: ", "setting exclude: node_modules\n"})
        EXPECT_NE(st.find(line), std::string::npos) << line << "\n" << st;
    EXPECT_EQ(found(".txt"), files({"a/.dot.txt", "a/.hidden/h.txt"}));
    // Logged once, not at every look at the file.
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    std::string log = qf::test::readFile(world.indexDir() + "/indexd.log");
    EXPECT_EQ(testing::countOf(log, "hidden must be"), 1u) << log;
}

struct MountCase {
    const char* name;
    bool defaultRoots;
    const char* mountPoint;  // below the tree's root
};

class MountTest : public SettingsProcessTest, public ::testing::WithParamInterface<MountCase> {};

TEST_P(MountTest, AMountedDiskIsSearchableUntilUnmountedTwice) {
    const MountCase& c = GetParam();
    if (c.defaultRoots) useDefaultRoots();
    testing::TempDir images;
    testing::LoopDisk disk(images.path() + "/disk.img", world.file(c.mountPoint));
    if (!disk.skipReason().empty()) GTEST_SKIP() << disk.skipReason();
    touch(world.file("run/other.txt"));
    touch(world.file("home.txt"));
    start();
    const std::vector<std::string> onDisk = {world.file(std::string(c.mountPoint) + "/folder/ondisk.txt")};
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_TRUE(disk.mount()) << disk.skipReason();
        EXPECT_TRUE(pollUntil([&] { return found("ondisk") == onDisk; }, std::chrono::seconds(10))) << status();
        // Live changes on the disk are followed (fanotify marks it again).
        touch(world.file(std::string(c.mountPoint) + "/live" + std::to_string(round) + ".txt"));
        EXPECT_TRUE(pollUntil([&] { return found("live" + std::to_string(round)).size() == 1; }));
        ASSERT_TRUE(disk.unmount());
        EXPECT_TRUE(
            pollUntil([&] { return found("ondisk").empty() && found("live").empty(); }, std::chrono::seconds(10)));
    }
    EXPECT_EQ(found("home.txt"), files({"home.txt"}));
    // With the default roots, run stays pruned apart from the disks under run/media.
    EXPECT_EQ(found("other.txt").empty(), c.defaultRoots);
}

INSTANTIATE_TEST_SUITE_P(Disks, MountTest,
                         ::testing::Values(MountCase{"UnderAWatchedRoot", false, "mnt/disk"},
                                           MountCase{"UnderRunMediaWithDefaultRoots", true, "run/media/tester/disk"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qf::index
