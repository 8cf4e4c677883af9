// mdfind and quillfind-indexd as whole processes, each test in a private
// index world (roots, index folder and XDG folders in a temporary folder).
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <functional>
#include <thread>

#include "base/unix_socket.h"
#include "client.h"
#include "index_test_support.h"
#include "search.h"
#include "snapshot.h"

namespace qf::index {
namespace {

using testing::pollUntil;
using testing::ProcessResult;
using testing::sorted;
using testing::splitLines;
using testing::touch;
namespace fs = std::filesystem;

class ProcessTest : public ::testing::Test {
protected:
    testing::ServiceWorld world;
};

TEST_F(ProcessTest, MdfindStartsTheServiceOnDemandBehindAPrivateSocket) {
    touch(world.file("Réport.txt"));
    // The first query starts the service (and must not hang on its output);
    // later ones find the file.
    ProcessResult first = world.mdfind({"-name", "report"});
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_TRUE(pollUntil([&] { return world.lines({"-name", "RÉPORT"}) == world.files({"Réport.txt"}); }));
    struct stat st {};
    ASSERT_EQ(::stat(world.indexDir().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((world.indexDir() + "/indexd.sock").c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u);

    // Only one service runs per index folder.
    pid_t pid = world.servicePid();
    EXPECT_EQ(::kill(pid, 0), 0);
    for (std::vector<std::string> args : {std::vector<std::string>{}, {"--daemonize"}}) {
        args.insert(args.begin(), testing::binDir() + "/quillfind-indexd");
        ProcessResult second = testing::runProcess(args, world.env(), std::chrono::seconds(10));
        EXPECT_EQ(second.exitCode, 0) << second.err;
        EXPECT_EQ(args.size() == 1, second.err.find("already running") != std::string::npos) << second.err;
    }
    EXPECT_EQ(world.servicePid(), pid);
}

TEST_F(ProcessTest, QueriesItDoesNotUnderstandFailClearly) {
    using Args = std::vector<std::string>;
    const Args bad[] = {{"kMDItemFSName == 'abc"},
                        {"kMDItemFSSize > 3"},
                        {"-name"},
                        {"-unknown", "x"},
                        {},
                        {"a", "b"},
                        {"-bad\x1b]0;owned\x07\r\nmdfind: forged"}};
    for (const Args& args : bad) {
        ProcessResult r = world.mdfind(args);
        EXPECT_NE(r.exitCode, 0) << ::testing::PrintToString(args);
        EXPECT_EQ(r.out, "") << ::testing::PrintToString(args);
        EXPECT_EQ(splitLines(r.err).size(), 1u) << r.err;
        EXPECT_EQ(r.err.rfind("mdfind: ", 0), 0u) << r.err;
        // Control characters from the arguments are shown escaped.
        EXPECT_EQ(std::count_if(r.err.begin(), r.err.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; }), 1)
            << r.err;
    }
    // Refused before any service was needed.
    EXPECT_FALSE(fs::exists(world.indexDir() + "/indexd.sock"));
    // A term that folds to nothing would be contained in every name: the
    // service, which does the folding, refuses it like the empty term.
    for (const Args& args : {Args{"-name", "\xCC\x81"}, Args{"-name", "\xE2\x80\x8D"}, Args{" \xE2\x80\x8D "}}) {
        ProcessResult r = world.mdfind(args);
        EXPECT_NE(r.exitCode, 0) << ::testing::PrintToString(args);
        EXPECT_EQ(r.out, "") << ::testing::PrintToString(args);
        EXPECT_NE(r.err.find("no character left"), std::string::npos) << r.err;
    }
}

TEST_F(ProcessTest, HeadClosingThePipeEndsMdfindQuietly) {
    for (int i = 0; i < 3000; ++i) touch(world.file("many/file-" + std::to_string(i) + ".txt"));
    ASSERT_TRUE(world.start());
    ProcessResult r = world.sh("mdfind \"kMDItemFSName == '*file*'cd\" | head -1; echo status=$?");
    EXPECT_EQ(splitLines(r.out).size(), 2u) << r.out;
    EXPECT_NE(r.out.find("status=0"), std::string::npos);
    EXPECT_EQ(r.err, "");
}

TEST_F(ProcessTest, OnlyInCountStatusAndOddNames) {
    const std::vector<std::string> odd = {"odd/plain-odd", "odd/line\nbreak-odd", "odd/bad\xFF-odd", "odd/cr-odd\r"};
    for (const std::string& f : odd) touch(world.file(f));
    for (const char* f : {"a/note-1", "a/b/note-2", "ab/note-3"}) touch(world.file(f));
    ASSERT_TRUE(world.start());
    EXPECT_EQ(world.lines({"-onlyin", world.file("a"), "-name", "note"}), world.files({"a/note-1", "a/b/note-2"}));
    EXPECT_EQ(world.lines({"-onlyin", world.file("a/b/"), "-onlyin", world.file("ab"), "-count", "-name", "note"}),
              std::vector<std::string>{"2"});
    // Names that would break a line of output are left out of lines, not of -0.
    EXPECT_EQ(world.lines({"-name", "-odd"}), world.files({"odd/plain-odd"}));
    EXPECT_EQ(sorted(splitLines(world.mdfind({"-0", "-name", "-odd"}).out, '\0')), world.files(odd));
    EXPECT_EQ(world.lines({"-count", "-name", "-odd"}), std::vector<std::string>{"4"});
    std::string status = world.mdfind({"--status"}).out;
    for (const char* line : {"state: idle", "entries: 11", "unwatched folders: 0", "snapshot: ", "root: "})
        EXPECT_NE(status.find(line), std::string::npos) << line << "\n" << status;
}

// A FIFO planted as the snapshot neither hangs the start nor the save, a
// stale temporary goes, and SIGTERM saves what changed since the last save.
TEST_F(ProcessTest, SigtermWritesTheSnapshotOverPlantedFiles) {
    touch(world.file("before.txt"));
    fs::create_directories(world.indexDir());
    const std::string snapshot = world.indexDir() + "/index.snapshot", stale = snapshot + ".tmp.12345";
    ASSERT_EQ(::mkfifo(snapshot.c_str(), 0600), 0);
    qf::test::writeFile(stale, "left by a killed save");
    ASSERT_TRUE(world.start());
    EXPECT_EQ(world.lines({"-name", "before"}), world.files({"before.txt"}));
    EXPECT_FALSE(fs::exists(stale));
    ASSERT_TRUE(pollUntil([&] { return fs::is_regular_file(snapshot); }));
    touch(world.file("later.txt"));
    ASSERT_TRUE(pollUntil([&] { return world.lines({"-name", "later"}).size() == 1; }));
    world.stopService();  // a service that ignored SIGTERM would neither save nor remove its socket
    IndexStore saved;
    ASSERT_EQ(loadSnapshot(snapshot, saved, nullptr), SnapshotLoad::loaded);
    EXPECT_EQ(findContaining(saved, "later", 1).size(), 1u);
    EXPECT_FALSE(fs::exists(world.indexDir() + "/indexd.sock"));
}

// A service killed a moment ago may still hold its lock while its threads
// exit; a start then sees "already running", yet nothing will ever listen.
// mdfind must start again once the lock is free instead of waiting in vain.
TEST_F(ProcessTest, ALockHeldByAnEndingServiceDelaysTheStartOnly) {
    touch(world.file("before.txt"));
    fs::create_directories(world.indexDir());
    ::chmod(world.indexDir().c_str(), 0700);
    UniqueFd lock(::open((world.indexDir() + "/indexd.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_TRUE(lock.valid());
    ASSERT_EQ(::flock(lock.get(), LOCK_EX | LOCK_NB), 0);
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        lock.reset();
    });
    ProcessResult r = world.mdfind({"-name", "before"});
    release.join();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(sorted(splitLines(r.out)), world.files({"before.txt"}));
}

TEST_F(ProcessTest, AFailingSnapshotSaveBacksOffAndRecovers) {
    touch(world.file("a.txt"));
    const std::string snapshot = world.indexDir() + "/index.snapshot", log = world.indexDir() + "/indexd.log";
    fs::create_directories(snapshot);  // a folder in its place: every save fails
    ASSERT_TRUE(world.start());
    auto failures = [&] { return testing::countOf(qf::test::readFile(log), "snapshot not written"); };
    ASSERT_TRUE(pollUntil([&] { return failures() == 1; }));
    EXPECT_NE(world.mdfind({"--status"}).out.find("snapshot: not written ("), std::string::npos);
    // Retried every 250 ms, this would have logged five more failures.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(failures(), 1u) << qf::test::readFile(log);
    fs::remove(snapshot);
    // The line follows the rename that puts the file in place.
    EXPECT_TRUE(pollUntil([&] { return qf::test::readFile(log).find("snapshot written again") != std::string::npos; }));
    EXPECT_TRUE(fs::is_regular_file(snapshot));
}

// CPU seconds a process has used so far.
double cpuSeconds(pid_t pid) {
    std::string stat = qf::test::readFile("/proc/" + std::to_string(pid) + "/stat");
    std::vector<std::string> f = splitLines(stat.substr(stat.rfind(')') + 2), ' ');
    if (f.size() < 13) return -1;
    return static_cast<double>(std::stoll(f[11]) + std::stoll(f[12])) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

TEST_F(ProcessTest, OutOfDescriptorsTheAcceptLoopWaitsInsteadOfSpinning) {
    touch(world.file("a.txt"));
    // Watched through fanotify, the service would also follow every other
    // write on this disk (a busy machine's), and its CPU time would measure that.
    world.extraEnv["QUILLFIND_INDEX_FANOTIFY"] = "0";
    ASSERT_TRUE(world.start());
    pid_t pid = world.servicePid();
    auto open = std::distance(fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd"), {});
    rlimit old{}, low{static_cast<rlim_t>(open + 2), 0};
    ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, nullptr, &old), 0);
    low.rlim_max = old.rlim_max;
    ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, &low, nullptr), 0);
    // Idle clients: two take the last descriptors, the rest wait in the backlog.
    std::vector<UniqueFd> idle;
    for (int i = 0; i < 10; ++i) {
        auto fd = qf::connectUnixSocket(world.indexDir() + "/indexd.sock");
        idle.push_back(fd ? std::move(*fd) : UniqueFd());
    }
    double before = cpuSeconds(pid);
    // A spinning loop takes whatever share of a core a loaded machine gives
    // it (0.3 s a second was seen at load 11); a waiting one takes nearly none.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    double used = cpuSeconds(pid) - before;
    EXPECT_LT(used, 0.1) << "CPU seconds in two seconds with the descriptors exhausted";
    idle.clear();
    ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, &old, nullptr), 0);
    EXPECT_EQ(world.lines({"-name", "a.txt"}), world.files({"a.txt"}));
}

// When the service cannot start, mdfind's one line says why; a log that
// is a link is not written through.
TEST(ProcessStartTest, AServiceThatCannotStartIsExplained) {
    testing::TempDir outside;
    const std::string victim = outside / "victim";
    qf::test::writeFile(victim, "keep");
    // Shell commands that plant the fault in $IDX, the index folder.
    const std::tuple<const char*, std::string, std::vector<const char*>> cases[] = {
        {"folder is a link", "mkdir \"$IDX-real\" && ln -s \"$IDX-real\" \"$IDX\"", {"/idx: a symbolic link"}},
        {"lock cannot be opened", "mkdir -p \"$IDX/indexd.lock\"", {"lock file", "indexd.lock: Is a directory"}},
        {"log is a link",
         "mkdir \"$IDX\" && ln -s '" + victim + "' \"$IDX/indexd.log\"",
         {"the log", "indexd.log: a symbolic link"}},
        {"folder owned by another user",
         "mkdir \"$IDX\" && chown 65534:65534 \"$IDX\"",
         {"/idx: owned by another user"}},
    };
    for (const auto& [what, plant, fragments] : cases) {
        if (std::string(what).find("another user") != std::string::npos && ::geteuid() != 0) continue;
        testing::ServiceWorld world;
        ASSERT_EQ(world.sh("IDX=\"$QUILLFIND_INDEX_DIR\"; " + plant).exitCode, 0) << what;
        ProcessResult r = world.mdfind({"-name", "x"});
        EXPECT_NE(r.exitCode, 0) << what;
        EXPECT_EQ(splitLines(r.err).size(), 1u) << what << ": " << r.err;
        for (const char* fragment : fragments)
            EXPECT_NE(r.err.find(fragment), std::string::npos) << what << ": " << r.err;
    }
    EXPECT_EQ(qf::test::readFile(victim), "keep");
}

// Writing a file in place leaves its folder's time alone: the catch-up
// after a restart and the rescan of unwatched folders must still see it.
TEST_F(ProcessTest, EditsWhileDownOrUnwatchedReachTheChangeDateQuery) {
    for (const char* f : {"old/edited-while-down.txt", "old/sub/edited-unwatched.txt", "old/untouched.txt"})
        touch(world.file(f));
    struct timespec old[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 9 * 86400, 0}};
    for (const char* f :
         {"old/edited-while-down.txt", "old/sub/edited-unwatched.txt", "old/untouched.txt", "old/sub", "old"})
        ASSERT_EQ(::utimensat(AT_FDCWD, world.file(f).c_str(), old, 0), 0) << f;
    world.extraEnv = {{"QUILLFIND_INDEX_MAX_WATCHES", "1"},  // the root only
                      {"QUILLFIND_INDEX_RESCAN_SECONDS", "1"},
                      {"QUILLFIND_INDEX_FANOTIFY", "0"}};
    const std::vector<std::string> recent = {"kMDItemFSContentChangeDate >= $time.today(-1d)"};
    ASSERT_TRUE(world.start());
    ASSERT_EQ(world.lines(recent), world.files({}));
    world.stopService();
    std::ofstream(world.file("old/edited-while-down.txt"), std::ios::app) << "more";
    ASSERT_TRUE(world.start());
    EXPECT_EQ(world.lines(recent), world.files({"old/edited-while-down.txt"})) << "after the catch-up";
    std::ofstream(world.file("old/sub/edited-unwatched.txt"), std::ios::app) << "more";
    EXPECT_TRUE(pollUntil([&] {
        return world.lines(recent) == world.files({"old/edited-while-down.txt", "old/sub/edited-unwatched.txt"});
    })) << "after a rescan";
}

// A compaction renumbers entries; an answer streaming meanwhile to a reader
// that is slow must still arrive whole (or fail loudly), never end short
// with status 0.
TEST_F(ProcessTest, CompactionDuringASlowAnswerCutsNothing) {
    // Long paths make the answer far larger than the socket and pipe buffers,
    // so the service is held in the middle of it.
    const std::string folder = std::string(250, 'k') + "/keep-" + std::string(250, 'k');
    fs::create_directories(world.file(folder));
    fs::create_directories(world.file("gone"));
    auto create = [](const std::string& path) { ::close(::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600)); };
    std::vector<std::string> expected{world.file(folder)};
    for (int i = 0; i < 4500; ++i) expected.push_back(world.file(folder + "/keep-" + std::to_string(i)));
    for (size_t i = 1; i < expected.size(); ++i) create(expected[i]);
    for (int i = 0; i < 1200; ++i) create(world.file("gone/gone-" + std::to_string(i)));
    world.extraEnv["QUILLFIND_INDEX_COMPACT_MIN_DEAD"] = "1000";
    ASSERT_TRUE(world.start());

    const std::string flags = fs::path(world.root()).parent_path() / "flag-";
    ProcessResult slow;
    std::thread reader([&] {
        slow = testing::runProcess(
            {"/bin/sh", "-c",
             "{ mdfind -name keep-; echo status=$? >&2; } | { read -r first; touch " + flags +
                 "started; while [ ! -e " + flags + "release ]; do sleep 0.02; done; echo \"$first\"; cat; }"},
            world.env(), std::chrono::seconds(60));
    });
    // Once the answer has begun, deleting enough makes a compaction worthwhile.
    bool started = pollUntil([&] { return fs::exists(flags + "started"); }, std::chrono::seconds(20));
    if (started) {
        fs::remove_all(world.file("gone"));
        auto compacting = [&] {
            std::string status = world.mdfind({"--status"}).out;
            return status.find("compactions: 1") != std::string::npos ||
                   status.find("waiting for answers") != std::string::npos;
        };
        EXPECT_TRUE(pollUntil(compacting, std::chrono::seconds(20)));
    }
    touch(flags + "release");
    reader.join();
    ASSERT_TRUE(started);
    std::vector<std::string> answered = sorted(splitLines(slow.out));
    EXPECT_EQ(answered.size(), expected.size()) << slow.err;
    EXPECT_TRUE(answered == sorted(expected));
    EXPECT_NE(slow.err.find("status=0"), std::string::npos) << slow.err;
    // Once the answer has ended, the compaction goes ahead.
    EXPECT_TRUE(pollUntil([&] { return world.mdfind({"--status"}).out.find("compactions: 1") != std::string::npos; }));
}

// As user nobody: 'D' when connect was denied, 'R' when a reply came, 'C'
// when the service closed the connection without answering.
char statusAsNobody(const std::string& socketPath) {
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit('?');
        auto s = qf::connectUnixSocket(socketPath);
        if (!s) ::_exit('D');
        const char req[] = "op=status\0\0";
        char buf[16];
        bool replied =
            ::send(s->get(), req, sizeof req - 1, MSG_NOSIGNAL) > 0 && ::recv(s->get(), buf, sizeof buf, 0) > 0;
        ::_exit(replied ? 'R' : 'C');
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? static_cast<char>(WEXITSTATUS(status)) : '?';
}

TEST_F(ProcessTest, OtherUsersCannotQueryTheService) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    touch(world.file("secret.txt"));
    ASSERT_TRUE(world.start());
    const std::string socketPath = world.indexDir() + "/indexd.sock";
    EXPECT_EQ(statusAsNobody(socketPath), 'D');  // the private folder keeps everyone else out
    // Even with the folder and socket opened up, the peer check refuses.
    fs::permissions(world.indexDir(), fs::perms::all);
    fs::permissions(socketPath, fs::perms::all);
    fs::permissions(fs::path(world.indexDir()).parent_path(), fs::perms::all, fs::perm_options::add);
    EXPECT_EQ(statusAsNobody(socketPath), 'C');
    EXPECT_EQ(world.lines({"-name", "secret"}).size(), 1u);
}

}  // namespace
}  // namespace qf::index
