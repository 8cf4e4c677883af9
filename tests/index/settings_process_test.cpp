// What the user chooses to index (index.conf) and the disks that come and
// go, with the real service on a temporary tree.
#include <gtest/gtest.h>

#include <sys/mount.h>

#include "index_test_support.h"

namespace qf::index {
namespace {

using testing::pollUntil;
using testing::ProcessResult;
using testing::sorted;
using testing::touch;
namespace fs = std::filesystem;

void writeFile(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << text;
}

class SettingsProcessTest : public ::testing::Test {
protected:
    void start() { ASSERT_TRUE(world.start()); }
    std::vector<std::string> found(const std::string& text) { return world.lines({"-name", text}); }
    std::vector<std::string> files(const std::vector<std::string>& rel) { return world.files(rel); }
    std::string status() { return world.mdfind({"--status"}).out; }
    testing::ServiceWorld world;
};

const std::vector<std::string> kTree = {"a/node_modules/x.txt", "a/.hidden/h.txt", "a/.dot.txt",
                                        "keep/k.txt",           "skip/s.txt",      "sp ace/z.txt"};

TEST_F(SettingsProcessTest, EachKeyDecidesWhatIsIndexed) {
    struct Case {
        std::string settings;  // "ROOT" stands for the tree's root
        std::vector<std::string> indexed;
        std::string statusLine;
    };
    const Case cases[] = {
        {"", kTree, "setting exclude: nothing"},
        {"exclude = ROOT/skip \"sp ace\"\nexclude = .dot.txt",
         {"a/node_modules/x.txt", "a/.hidden/h.txt", "a/.dot.txt", "keep/k.txt"},
         "setting exclude: \"sp ace\" .dot.txt ROOT/skip"},
        // A root that is no folder is reported, not silently left out.
        {"roots = ROOT/keep:ROOT/gone", {"keep/k.txt"}, "settings error: the root 'ROOT/gone' is not a folder"},
        {"network = yes", kTree, "setting network: yes"},
    };
    for (const Case& c : cases) {
        testing::ServiceWorld w;
        // The file's roots count only where QUILLFIND_INDEX_ROOTS is not set;
        // the default root is then the tree's root.
        w.extraEnv = {{"QUILLFIND_INDEX_ROOTS", ""}, {"QUILLFIND_INDEX_SYSTEM_ROOT", w.root()}};
        auto withRoot = [&](std::string text) {
            for (size_t at; (at = text.find("ROOT")) != std::string::npos;) text.replace(at, 4, w.root());
            return text;
        };
        for (const std::string& f : kTree) touch(w.file(f));
        writeFile(w.settingsFile(), withRoot(c.settings) + "\n");
        ASSERT_TRUE(w.start());
        EXPECT_EQ(w.lines({"-name", ".txt"}), w.files(c.indexed)) << c.settings;
        std::string st = w.mdfind({"--status"}).out;
        EXPECT_NE(st.find(withRoot(c.statusLine)), std::string::npos) << st;
        EXPECT_EQ(st.find("settings error") != std::string::npos, c.statusLine.find("error") != std::string::npos)
            << st;
    }
}

TEST_F(SettingsProcessTest, AChangedFileIsAppliedWithoutRestart) {
    world.extraEnv = {{"QUILLFIND_INDEX_ROOTS", ""}, {"QUILLFIND_INDEX_SYSTEM_ROOT", world.root()}};
    for (const std::string& f : kTree) touch(world.file(f));
    start();
    ASSERT_EQ(found(".txt"), files(kTree));
    pid_t pid = world.servicePid();

    // Written whole and renamed over, as editors do.
    writeFile(world.settingsFile() + ".new", "exclude = node_modules\nhidden = no\n");
    fs::rename(world.settingsFile() + ".new", world.settingsFile());
    EXPECT_TRUE(pollUntil([&] {
        return found(".txt") == files({"keep/k.txt", "skip/s.txt", "sp ace/z.txt"});
    })) << status();
    // Left out while excluded, also when created meanwhile.
    touch(world.file("b/node_modules/new.txt"));
    touch(world.file("b/seen.txt"));
    EXPECT_TRUE(pollUntil([&] { return found("seen.txt").size() == 1; }));
    EXPECT_TRUE(found("new.txt").empty());

    // What is let in again comes back, though no folder time moved.
    writeFile(world.settingsFile(), "exclude = sp\n");
    EXPECT_TRUE(pollUntil([&] { return found("new.txt").size() == 1 && found(".dot").size() == 1; })) << status();
    EXPECT_EQ(found("x.txt"), files({"a/node_modules/x.txt"}));

    writeFile(world.settingsFile(), "roots = " + world.file("keep") + ":" + world.file("b") + "\n");
    EXPECT_TRUE(pollUntil([&] {
        return found(".txt") == files({"b/node_modules/new.txt", "b/seen.txt", "keep/k.txt"});
    })) << status();
    EXPECT_EQ(world.servicePid(), pid);
}

TEST_F(SettingsProcessTest, AMalformedFileIsReportedAndItsGoodLinesKept) {
    for (const std::string& f : kTree) touch(world.file(f));
    writeFile(world.settingsFile(), "# mine\nexclude = node_modules\nbogus line\nhidden = maybe\nexclude = \"open\n");
    start();
    std::string st = status();
    for (const char* line : {"settings error: line 3: ", "settings error: line 4: hidden must be",
                             "settings error: line 5: ", "setting exclude: node_modules\n"})
        EXPECT_NE(st.find(line), std::string::npos) << line << "\n" << st;
    EXPECT_EQ(found("x.txt"), std::vector<std::string>{});
    EXPECT_EQ(found(".dot"), files({"a/.dot.txt"}));
    // Logged once, not at every look at the file.
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    std::string log = qf::test::readFile(world.indexDir() + "/indexd.log");
    size_t count = 0;
    for (size_t at = 0; (at = log.find("hidden must be", at)) != std::string::npos; ++at) ++count;
    EXPECT_EQ(count, 1u) << log;
}

// An ext4 image holding folder/ondisk.txt, mounted through a loop device;
// unmounted (lazily, so that nothing holds it) when the test ends.
class LoopDisk {
public:
    LoopDisk(const std::string& image, std::string mountPoint) : image_(image), mountPoint_(std::move(mountPoint)) {
        fs::create_directories(mountPoint_);
        ProcessResult made = testing::runProcess(
            {"/bin/sh", "-c", "truncate -s 8M '" + image + "' && mkfs.ext4 -q -F '" + image + "'"}, {});
        if (made.exitCode != 0) {
            why_ = "mkfs.ext4 failed: " + made.err;
        } else if (mount()) {
            touch(mountPoint_ + "/folder/ondisk.txt");
            if (!unmount()) why_ = "cannot unmount";
        }
    }
    ~LoopDisk() {
        if (mounted_) ::umount2(mountPoint_.c_str(), MNT_DETACH);
    }
    const std::string& skipReason() const { return why_; }
    bool mount() {
        // autoclear: the loop device goes with the last unmount.
        ProcessResult r = testing::runProcess({"/bin/mount", "-o", "loop", "-t", "ext4", image_, mountPoint_}, {});
        mounted_ = r.exitCode == 0;
        if (!mounted_) why_ = "mounting a loop device is not permitted here: " + r.err;
        return mounted_;
    }
    bool unmount() {
        mounted_ = mounted_ && ::umount2(mountPoint_.c_str(), MNT_DETACH) != 0;
        return !mounted_;
    }

private:
    std::string image_, mountPoint_, why_;
    bool mounted_ = false;
};

struct MountCase {
    const char* name;
    bool defaultRoots;
    const char* mountPoint;  // below the tree's root
};

class MountTest : public SettingsProcessTest, public ::testing::WithParamInterface<MountCase> {};

TEST_P(MountTest, AMountedDiskIsSearchableUntilUnmountedTwice) {
    const MountCase& c = GetParam();
    if (c.defaultRoots) world.extraEnv = {{"QUILLFIND_INDEX_ROOTS", ""}, {"QUILLFIND_INDEX_SYSTEM_ROOT", world.root()}};
    testing::TempDir images;
    LoopDisk disk(images.path() + "/disk.img", world.file(c.mountPoint));
    if (!disk.skipReason().empty()) GTEST_SKIP() << disk.skipReason();
    touch(world.file("run/other.txt"));
    touch(world.file("home.txt"));
    start();
    const std::vector<std::string> onDisk = {world.file(std::string(c.mountPoint) + "/folder/ondisk.txt")};
    for (int round = 1; round <= 2; ++round) {
        ASSERT_TRUE(disk.mount()) << disk.skipReason();
        EXPECT_TRUE(pollUntil([&] { return found("ondisk") == onDisk; }, std::chrono::seconds(10)))
            << "round " << round << "\n"
            << status();
        // Live changes on the disk are followed (fanotify marks it again).
        touch(world.file(std::string(c.mountPoint) + "/live" + std::to_string(round) + ".txt"));
        EXPECT_TRUE(pollUntil([&] { return found("live" + std::to_string(round)).size() == 1; })) << "round " << round;
        ASSERT_TRUE(disk.unmount());
        EXPECT_TRUE(
            pollUntil([&] { return found("ondisk").empty() && found("live").empty(); }, std::chrono::seconds(10)))
            << "round " << round;
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
