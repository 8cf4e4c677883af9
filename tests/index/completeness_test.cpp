// The index is complete or says what it lacks: a service short of
// descriptors, threads or watches, changes too deep for a path and disks
// mounted over indexed folders, each checked against the file system itself.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <climits>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

#include "base/start_thread.h"
#include "index/service/service.h"
#include "index/store/fold.h"
#include "index/store/search.h"
#include "index_test_support.h"

namespace qf::index {
namespace {

using testing::namesContaining;
using testing::pollUntil;
using testing::splitLines;
using testing::touch;
namespace fs = std::filesystem;

// Makes `folders` folders of `files` empty files each below `root`;
// returns the number of entries made.
size_t makeTree(const std::string& root, int folders, int files) {
    for (int d = 0; d < folders; ++d)
        for (int f = 0; f < files; ++f) touch(root + "/d" + std::to_string(d) + "/f" + std::to_string(f));
    return static_cast<size_t>(folders) * (files + 1);
}

// The number after "key: " in a status text, or -1.
long long statusNumber(const std::string& status, const std::string& key) {
    size_t at = status.find("\n" + key + ": ");
    if (at == std::string::npos) return -1;
    return std::atoll(status.c_str() + at + key.size() + 3);
}

// The inotify watches the kernel holds for process `pid`, but for those of
// the instance watching the inode `except` (the settings folder, followed
// apart with the folders above the roots).
long long kernelWatches(pid_t pid, ino_t except) {
    const std::string proc = "/proc/" + std::to_string(pid);
    char inode[32];
    std::snprintf(inode, sizeof inode, " ino:%lx ", static_cast<unsigned long>(except));
    long long count = 0;
    for (const auto& fd : fs::directory_iterator(proc + "/fd")) {
        std::error_code error;
        if (fs::read_symlink(fd.path(), error) != "anon_inode:inotify") continue;
        const std::string info = qf::test::readFile(proc + "/fdinfo/" + fd.path().filename().string());
        if (info.find(inode) != std::string::npos) continue;
        for (const std::string& line : splitLines(info))
            if (line.rfind("inotify wd:", 0) == 0) ++count;
    }
    return count;
}

// While alive, this process can open no descriptor: every one below the
// lowest free one is in use, and the limit is lowered to just above it.
class DescriptorsExhausted {
public:
    DescriptorsExhausted() : last_(::open("/dev/null", O_RDONLY | O_CLOEXEC)) {
        ::getrlimit(RLIMIT_NOFILE, &old_);
        rlimit low = old_;
        low.rlim_cur = static_cast<rlim_t>(last_.get()) + 1;
        ::setrlimit(RLIMIT_NOFILE, &low);
    }
    ~DescriptorsExhausted() { ::setrlimit(RLIMIT_NOFILE, &old_); }

private:
    UniqueFd last_;
    rlimit old_{};
};

// Folders that cannot be opened for want of a descriptor are not skipped
// like unreadable ones: they wait, counted in the status with the reason,
// until they can be listed.
TEST(CrawlRetryTest, ListingsShortOfDescriptorsAreCountedAndTriedAgainUntilListed) {
    testing::TempDir dir;
    const std::string root = fs::canonical(dir.path()).string();
    const size_t entries = makeTree(root, 5, 3);
    ServiceOptions options;
    options.roots = {root};
    options.crawlThreads = 2;
    Service service(options);
    ServiceStatus status;
    {
        DescriptorsExhausted exhausted;
        ASSERT_TRUE(service.start());
        ASSERT_TRUE(pollUntil([&] {
            status = service.status();
            return status.unlistedFolders == 1u;
        }));
        EXPECT_NE(status.unlistedReason.value_or("").find(std::strerror(EMFILE)), std::string::npos)
            << status.unlistedReason.value_or("no reason");
        std::string notice;
        namesContaining(service, "x", &notice);
        EXPECT_NE(notice.find("may lack"), std::string::npos) << notice;
    }
    EXPECT_TRUE(pollUntil([&] {
        status = service.status();
        return status.crawling == Flag::no && status.unlistedFolders == 0u && status.entries == entries;
    })) << status.unlistedFolders.value_or(0)
        << " unlisted, " << status.entries.value_or(0) << " entries";
    EXPECT_EQ(status.unlistedReason, std::nullopt);
}

// A disk unmounted while the crawl is at it: only the folder being read
// may hold it, and only while it is read.
TEST(CrawlHoldTest, OnlyTheFolderBeingReadKeepsADiskBusy) {
    testing::TempDir dir;
    const std::string root = fs::canonical(dir.path()).string() + "/root";
    const std::string mnt = root + "/mnt";
    testing::LoopDisk disk(dir / "disk.img", mnt);
    if (!disk.skipReason().empty()) GTEST_SKIP() << disk.skipReason();
    std::atomic<bool> hold = true, held = false;
    ServiceOptions options;
    options.roots = {root};
    options.beforeListing = [&](const std::string& folder) {
        if (folder != mnt + "/folder" || !hold) return;
        held = true;
        pollUntil([&] { return !hold.load(); }, std::chrono::seconds(20));
    };
    Service service(options);
    ASSERT_TRUE(service.start());
    ASSERT_TRUE(pollUntil([&] { return service.status().crawling == Flag::no; }));
    ASSERT_TRUE(disk.mount());
    // The disk's top folder is read, and the crawl is held before its "folder".
    EXPECT_TRUE(pollUntil([&] { return held.load(); }, std::chrono::seconds(10)));
    EXPECT_TRUE(disk.unmountOnce()) << std::strerror(errno);
    hold = false;
}

// A chain of `depth` folders below `top`, made step by step as no single
// path could reach its bottom; returns the bottom folder and its path.
std::pair<UniqueFd, std::string> makeChain(const std::string& top, int depth) {
    const std::string name = "a-folder-deep-down-below";
    UniqueFd folder(::open(top.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    std::string path = top;
    for (int i = 0; i < depth && folder; ++i) {
        ::mkdirat(folder.get(), name.c_str(), 0755);
        folder.reset(::openat(folder.get(), name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        path += "/" + name;
    }
    return {std::move(folder), path};
}

bool createAt(int folder, const char* name) {
    return UniqueFd(::openat(folder, name, O_CREAT | O_WRONLY | O_CLOEXEC, 0644)).valid();
}

// Far beyond PATH_MAX, the crawl and the changes after it, with both kinds
// of watch: no path of that length can be given to a system call.
class DeepChangeTest : public ::testing::TestWithParam<bool> {};

TEST_P(DeepChangeTest, ChangesBeyondPathMaxAreFollowed) {
    testing::TempDir dir;
    const std::string root = fs::canonical(dir.path()).string() + "/root";
    fs::create_directories(root);
    auto [bottom, deep] = makeChain(root, 700);
    ASSERT_TRUE(bottom.valid());
    ASSERT_GT(deep.size(), 4 * size_t{PATH_MAX});
    ASSERT_TRUE(createAt(bottom.get(), "crawled.txt"));
    ServiceOptions options;
    options.roots = {root};
    options.crawlThreads = 2;
    options.useFanotify = GetParam();
    Service service(options);
    ASSERT_TRUE(service.start());
    ASSERT_TRUE(pollUntil([&] { return service.status().crawling == Flag::no && service.status().entries == 701; }));
    if (GetParam() && service.status().fanotifyFileSystems != 1u)
        GTEST_SKIP() << "fanotify file-system marks need CAP_SYS_ADMIN";
    using Paths = std::vector<std::string>;
    EXPECT_EQ(namesContaining(service, "crawled"), Paths{deep + "/crawled.txt"});

    ASSERT_TRUE(createAt(bottom.get(), "created.txt"));
    EXPECT_TRUE(pollUntil([&] { return namesContaining(service, "created") == Paths{deep + "/created.txt"}; }));
    ASSERT_EQ(::renameat(bottom.get(), "created.txt", bottom.get(), "renamed.txt"), 0);
    EXPECT_TRUE(pollUntil([&] { return namesContaining(service, "created").empty(); }));
    EXPECT_TRUE(pollUntil([&] { return namesContaining(service, "renamed") == Paths{deep + "/renamed.txt"}; }));
    ASSERT_EQ(::unlinkat(bottom.get(), "renamed.txt", 0), 0);
    EXPECT_TRUE(pollUntil([&] { return namesContaining(service, "renamed").empty(); }));
    // A new folder down there is read by the crawl.
    ASSERT_EQ(::mkdirat(bottom.get(), "new", 0755), 0);
    UniqueFd fresh(::openat(bottom.get(), "new", O_PATH | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(createAt(fresh.get(), "inside.txt"));
    EXPECT_TRUE(pollUntil([&] { return namesContaining(service, "inside") == Paths{deep + "/new/inside.txt"}; }));
}

INSTANTIATE_TEST_SUITE_P(Watches, DeepChangeTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "fanotify" : "inotify"; });

// A file system mounted over an indexed folder covers what the folder held:
// those paths can no longer be opened, so they leave the answers until the
// file system is unmounted. A pruned one is named, not entered; a disk is
// crawled in their place.
TEST(CoveredFolderTest, WhatAMountCoversIsHiddenUntilUnmounted) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting needs root";
    testing::TempDir dir;
    const std::string root = fs::canonical(dir.path()).string() + "/root";
    touch(root + "/dir/covered.txt");
    touch(root + "/dir/sub/covered-below.txt");
    testing::LoopDisk disk(dir / "disk.img", dir / "unused");
    if (!disk.skipReason().empty()) GTEST_SKIP() << disk.skipReason();
    const std::string diskImage = dir / "disk.img";
    ServiceOptions options;
    options.roots = {root};
    Service service(options);
    ASSERT_TRUE(service.start());
    ASSERT_TRUE(pollUntil([&] { return service.status().crawling == Flag::no && service.status().entries == 4; }));
    struct Unmounted {  // also when the test stops half-way
        std::string path;
        ~Unmounted() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmounted{root + "/dir"};
    using Paths = std::vector<std::string>;
    const Paths covered = {root + "/dir/covered.txt", root + "/dir/sub/covered-below.txt"};
    const struct {
        const char* what;
        std::vector<std::string> mount;
        Paths onTop;  // what the mounted file system shows in their place
    } cases[] = {
        {"tmpfs, pruned", {"/bin/mount", "-t", "tmpfs", "tmpfs", root + "/dir"}, {}},
        {"a disk",
         {"/bin/mount", "-o", "loop", "-t", "ext4", diskImage, root + "/dir"},
         {root + "/dir/folder/ondisk.txt"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(testing::runProcess(c.mount, {}).exitCode, 0);
        if (c.onTop.empty()) touch(root + "/dir/on-the-pruned-disk.txt");
        EXPECT_TRUE(pollUntil(
            [&] { return namesContaining(service, "covered").empty() && namesContaining(service, "on") == c.onTop; }));
        EXPECT_EQ(namesContaining(service, "dir"), Paths{root + "/dir"}) << "the mount point stays";
        // A plain unmount, as a user's: it may meet the service looking at
        // the new mount for a moment, never for longer.
        bool gone = false;
        ASSERT_TRUE(pollUntil([&] { return gone = gone || ::umount2((root + "/dir").c_str(), 0) == 0; }))
            << std::strerror(errno);
        EXPECT_TRUE(pollUntil(
            [&] { return namesContaining(service, "covered") == covered && namesContaining(service, "on").empty(); }));
    }
}

// Roots rewritten again and again while the crawl runs, with compactions
// renumbering the entries in between: the count of watches must stay the
// kernel's, or the watch limit is reached by watches that do not exist.
TEST(CompletenessTest, TheWatchCountIsTheKernels) {
    testing::ServiceWorld world;
    const size_t entries = makeTree(world.root(), 500, 40);
    const std::string narrow = "roots = " + world.file("d1") + ":" + world.file("d2") + "\n";
    const std::string wide = "roots = " + world.root() + "\n";
    world.writeSettings(wide);
    world.extraEnv = {{"QUILLFIND_INDEX_ROOTS", ""},
                      {"QUILLFIND_INDEX_FANOTIFY", "0"},
                      {"QUILLFIND_INDEX_COMPACT_MIN_DEAD", "1000"},
                      {"QUILLFIND_INDEX_MAX_WATCHES", "1000"}};
    ASSERT_EQ(world.mdfind({"--start-service"}).exitCode, 0);
    const pid_t pid = world.servicePid();
    for (int i = 1; i <= 40; ++i) {
        world.writeSettings(i % 2 ? narrow : wide);
        ::kill(pid, SIGHUP);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::string status;
    ASSERT_TRUE(pollUntil(
        [&] {
            status = world.status();
            return status.find("state: idle") != std::string::npos &&
                   statusNumber(status, "entries") == static_cast<long long>(entries) &&
                   statusNumber(status, "compactions") > 0 && status.find("waiting") == std::string::npos;
        },
        std::chrono::seconds(20)))
        << status;
    struct stat settingsFolder {};
    ASSERT_EQ(::stat(fs::path(world.settingsFile()).parent_path().c_str(), &settingsFolder), 0);
    EXPECT_EQ(statusNumber(status, "watches"), kernelWatches(pid, settingsFolder.st_ino)) << status;
    EXPECT_EQ(statusNumber(status, "watches"), 501) << status;
    EXPECT_EQ(statusNumber(status, "unwatched folders"), 0) << status;
}

// A service that cannot start all its threads does not start: the one who
// started it learns why.
TEST(CompletenessTest, AServiceWhoseThreadsCannotStartSaysSoAndEnds) {
#ifdef QF_SANITIZED
    GTEST_SKIP() << "sanitizers reserve more address space than this test allows";
#endif
    testing::ServiceWorld world;
    // Each thread's stack would take 4 GiB of the 3 GiB the service may have.
    const testing::ProcessResult started =
        world.sh("ulimit -s 4194304 && ulimit -v 3145728 && exec mdfind --start-service");
    EXPECT_NE(started.exitCode, 0);
    EXPECT_NE(started.err.find("cannot start a thread for"), std::string::npos) << started.err;
}

// A scan meant for several threads, none of which can start: the answer is
// slower, but whole, and nothing is thrown.
TEST(SearchThreadsTest, AScanWhoseThreadsCannotStartAnswersWhole) {
    IndexStore store;
    const uint32_t root = store.addRoot("/big");
    for (int i = 0; i < 300000; ++i) {
        const std::string name = "file-" + std::to_string(i) + ".txt";
        store.addChild(root, name, foldName(name), EntryType::file, i, kNoTime);
    }
    const std::vector<uint32_t> whole = findContaining(store, "17", 1);
    ASSERT_FALSE(whole.empty());
    // A child allowed no process more than its user has (root is exempt
    // from the limit, so the child runs as nobody): no thread can start.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit none{0, 0};
        if ((::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ||
            ::setrlimit(RLIMIT_NPROC, &none) != 0)
            ::_exit(4);
        if (Expected<std::thread> probe = startThread([] {}, "a test")) {
            probe->join();
            ::_exit(2);
        }
        try {
            ::_exit(findContaining(store, "17", 4) == whole ? 0 : 1);
        } catch (...) {
            ::_exit(3);
        }
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the answer differs, 2: a thread could start, 3: the scan threw, "
                                         "4: no limit could be set";
}

}  // namespace
}  // namespace qf::index
