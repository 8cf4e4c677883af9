// mdfind and quillfind-indexd as whole processes, each test in a private
// index world (roots, index folder and XDG folders in a temporary folder):
// queries, the service's life, what the user chooses to index (index.conf)
// and the disks that come and go.
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <functional>
#include <optional>
#include <thread>

#include "base/unix_socket.h"
#include "index/store/search.h"
#include "index/store/snapshot.h"
#include "index_test_support.h"

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
    // The file's roots count only where QUILLFIND_INDEX_ROOTS is not set;
    // the default root is then the tree's root.
    void useDefaultRoots() {
        world.extraEnv = {{"QUILLFIND_INDEX_ROOTS", ""}, {"QUILLFIND_INDEX_SYSTEM_ROOT", world.root()}};
    }
    std::string withRoot(std::string text) {
        for (size_t at; (at = text.find("ROOT")) != std::string::npos;) text.replace(at, 4, world.root());
        return text;
    }
    // "ROOT" stands for the tree's root.
    void writeSettings(const std::string& text) { world.writeSettings(withRoot(text)); }
    testing::ServiceWorld world;
};

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

TEST_F(ProcessTest, MdfindStartsOneServiceOnDemandBehindAPrivateSocketAndAsksIt) {
    touch(world.file("Réport.txt"));
    const std::vector<std::string> odd = {"odd/plain-odd", "odd/line\nbreak-odd", "odd/bad\xFF-odd", "odd/cr-odd\r"};
    for (const std::string& f : odd) touch(world.file(f));
    for (const char* f : {"a/note-1", "a/b/note-2", "ab/note-3"}) touch(world.file(f));
    // The first query starts the service (and must not hang on its output);
    // later ones find the file.
    ProcessResult first = world.mdfind({"-name", "report"});
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_TRUE(pollUntil([&] { return world.found("RÉPORT") == world.files({"Réport.txt"}); }));
    ASSERT_TRUE(world.start());  // already running: waits for the crawl only
    EXPECT_EQ(world.lines({"-onlyin", world.file("a/b/"), "-onlyin", world.file("ab"), "-count", "-name", "note"}),
              std::vector<std::string>{"2"});
    // Names that would break a line of output are left out of lines, not of -0.
    EXPECT_EQ(world.found("-odd"), world.files({"odd/plain-odd"}));
    EXPECT_EQ(sorted(splitLines(world.mdfind({"-0", "-name", "-odd"}).out, '\0')), world.files(odd));
    EXPECT_EQ(world.lines({"-count", "-name", "-odd"}), std::vector<std::string>{"4"});
    const std::string socketPath = world.indexDir() + "/indexd.sock";
    EXPECT_EQ(fs::status(world.indexDir()).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(fs::status(socketPath).type(), fs::file_type::socket);
    EXPECT_EQ(fs::status(socketPath).permissions() & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);

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
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    EXPECT_EQ(statusAsNobody(socketPath), 'D');  // the private folder keeps everyone else out
    // Even with the folder and socket opened up, the peer check refuses.
    fs::permissions(world.indexDir(), fs::perms::all);
    fs::permissions(socketPath, fs::perms::all);
    fs::permissions(fs::path(world.indexDir()).parent_path(), fs::perms::all, fs::perm_options::add);
    EXPECT_EQ(statusAsNobody(socketPath), 'C');
    EXPECT_EQ(world.found("report").size(), 1u);
}

TEST_F(ProcessTest, QueriesItDoesNotUnderstandFailClearly) {
    using Args = std::vector<std::string>;
    // One of each source of refusal: the query, none at all, a forged option.
    const Args bad[] = {{"kMDItemFSName == 'abc"},
                        {},
                        {"-bad\x1b]0;owned\x07\r\nmdfind: forged"},
                        // A term that folds to nothing would be contained in every name: the
                        // service, which does the folding, refuses it like the empty term.
                        {"-name", "\xCC\x81"}};
    for (size_t i = 0; i < std::size(bad); ++i) {
        SCOPED_TRACE(::testing::PrintToString(bad[i]));
        const bool byService = i >= 3;
        ProcessResult r = world.mdfind(bad[i]);
        EXPECT_NE(r.exitCode, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(splitLines(r.err).size(), 1u) << r.err;
        EXPECT_EQ(r.err.rfind("mdfind: ", 0), 0u) << r.err;
        // Control characters from the arguments are shown escaped.
        EXPECT_EQ(std::count_if(r.err.begin(), r.err.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; }), 1)
            << r.err;
        // The others are refused before any service was needed.
        EXPECT_EQ(fs::exists(world.indexDir() + "/indexd.sock"), byService);
        EXPECT_EQ(r.err.find("no character left") != std::string::npos, byService) << r.err;
    }
}

// A FIFO planted as the snapshot neither hangs the start nor the save, a
// stale temporary goes, and SIGTERM saves what changed since the last save.
// A service killed a moment ago may still hold its lock while its threads
// exit; a start then sees "already running", yet nothing will ever listen:
// mdfind must start again once the lock is free instead of waiting in vain.
TEST_F(ProcessTest, StartsOverPlantedFilesAndAnEndingServicesLockSavesOnSigterm) {
    touch(world.file("before.txt"));
    fs::create_directories(world.indexDir());
    ::chmod(world.indexDir().c_str(), 0700);
    const std::string snapshot = world.indexDir() + "/index.snapshot", stale = snapshot + ".tmp.12345";
    ASSERT_EQ(::mkfifo(snapshot.c_str(), 0600), 0);
    qf::test::writeFile(stale, "left by a killed save");
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
    // The first answer may come before the first crawl has read the root.
    EXPECT_TRUE(pollUntil([&] { return world.found("before") == world.files({"before.txt"}); }));
    EXPECT_FALSE(fs::exists(stale));
    ASSERT_TRUE(pollUntil([&] { return fs::is_regular_file(snapshot); }));
    touch(world.file("later.txt"));
    ASSERT_TRUE(pollUntil([&] { return world.found("later").size() == 1; }));
    world.stopService();  // a service that ignored SIGTERM would neither save nor remove its socket
    IndexStore saved;
    ASSERT_EQ(loadSnapshot(snapshot, saved).valueOr(SnapshotLoad::missing), SnapshotLoad::loaded);
    EXPECT_EQ(findContaining(saved, "later", 1).size(), 1u);
    EXPECT_FALSE(fs::exists(world.indexDir() + "/indexd.sock"));
}

// (RetryBackoffTest shows the back-off on a clock read from 0, as on a
// machine booted a moment ago.)
TEST_F(ProcessTest, AFailingSnapshotSaveBacksOffAndRecovers) {
    touch(world.file("a.txt"));
    const std::string snapshot = world.indexDir() + "/index.snapshot", log = world.indexDir() + "/indexd.log";
    fs::create_directories(snapshot);  // a folder in its place: every save fails
    ASSERT_TRUE(world.start());
    auto failures = [&] { return testing::countOf(qf::test::readFile(log), "snapshot not written"); };
    ASSERT_TRUE(pollUntil([&] { return failures() == 1; }));
    EXPECT_NE(world.status().find("snapshot: not written ("), std::string::npos);
    // Retried every 250 ms, this would have logged five more failures.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(failures(), 1u) << qf::test::readFile(log);
    fs::remove(snapshot);
    // The line follows the rename that puts the file in place.
    EXPECT_TRUE(pollUntil([&] { return qf::test::readFile(log).find("snapshot written again") != std::string::npos; }));
    EXPECT_TRUE(fs::is_regular_file(snapshot));
}

// Whether `pid` still runs (a zombie no longer counts).
bool running(pid_t pid) {
    std::string stat = qf::test::readFile("/proc/" + std::to_string(pid) + "/stat");
    return !stat.empty() && stat.substr(stat.rfind(')') + 2, 1) != "Z";
}

// Nobody can reach a service whose socket or lock is gone (its folder
// deleted, as $XDG_RUNTIME_DIR at logout), and another may start beside it:
// it ends. A service that another took over leaves the snapshot alone.
TEST_F(ProcessTest, AServiceWhoseSocketOrLockIsGoneEnds) {
    touch(world.file("a.txt"));
    const std::string idx = world.indexDir(), snapshot = idx + "/index.snapshot";
    // What is removed or replaced; the name a planted file takes, if any.
    const std::tuple<const char*, std::function<void()>, std::string> cases[] = {
        {"folder removed", [&] { fs::remove_all(idx); }, ""},
        {"socket replaced", [&] { fs::rename(idx + "/planted", idx + "/indexd.sock"); }, "indexd.sock"},
        {"lock replaced", [&] { fs::rename(idx + "/planted", idx + "/indexd.lock"); }, "indexd.lock"},
    };
    for (const auto& [what, plant, planted] : cases) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(world.start());
        ASSERT_TRUE(pollUntil([&] { return fs::is_regular_file(snapshot); }));
        const pid_t pid = world.servicePid();
        touch(world.file(std::string("new-") + what));
        ASSERT_TRUE(pollUntil([&] { return world.found("new-").size() == 1; }));
        qf::test::writeFile(idx + "/planted", "another's");
        plant();
        EXPECT_TRUE(pollUntil([&] { return !running(pid); }, std::chrono::seconds(10)));
        // What stands there now is not the service's to remove or write over.
        if (!planted.empty()) {
            EXPECT_EQ(qf::test::readFile(idx + "/" + planted), "another's");
        }
        if (fs::exists(idx)) {
            IndexStore saved;
            ASSERT_EQ(loadSnapshot(snapshot, saved).valueOr(SnapshotLoad::missing), SnapshotLoad::loaded);
            EXPECT_EQ(findContaining(saved, "new-", 1).size(), planted == "indexd.lock" ? 0u : 1u);
        }
        fs::remove_all(idx);
        fs::remove(world.file(std::string("new-") + what));
    }
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
    for (const char* f :
         {"old/edited-while-down.txt", "old/sub/edited-unwatched.txt", "old/untouched.txt", "old/sub", "old"})
        ASSERT_TRUE(testing::setChangeTime(world.file(f), std::time(nullptr) - 9 * 86400)) << f;
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
    std::vector<std::string> expected{world.file(folder)};
    for (int i = 0; i < 4500; ++i) expected.push_back(world.file(folder + "/keep-" + std::to_string(i)));
    for (size_t i = 1; i < expected.size(); ++i) touch(expected[i]);
    for (int i = 0; i < 1200; ++i) touch(world.file("gone/gone-" + std::to_string(i)));
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
            std::string status = world.status();
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
    EXPECT_TRUE(pollUntil([&] { return world.status().find("compactions: 1") != std::string::npos; }));
    // A reader that stops early ends mdfind quietly.
    ProcessResult head = world.sh("mdfind -name keep- | head -1; echo status=$?");
    EXPECT_EQ(splitLines(head.out).size(), 2u) << head.out;
    EXPECT_NE(head.out.find("status=0"), std::string::npos);
    EXPECT_EQ(head.err, "");
}

const std::vector<std::string> kTree = {"a/node_modules/x.txt", "a/.hidden/h.txt", "a/.dot.txt",
                                        "keep/k.txt",           "skip/s.txt",      "sp ace/z.txt"};

TEST_F(ProcessTest, SettingsAreReportedAndAppliedWithoutRestart) {
    useDefaultRoots();
    for (const std::string& f : kTree) touch(world.file(f));
    // A malformed file is reported and what can be used of it applied; what
    // cannot never widens the index (the bad root, the hidden names).
    writeSettings(
        "# mine\nexclude = node_modules\nbogus line\nhidden = maybe\nexclude = \"open\nroots = "
        "ROOT/a:rel/x:ROOT/keep\n");
    ASSERT_TRUE(world.start());
    std::string st = world.status();
    for (const char* line : {"settings error: line 3: ", "settings error: line 4: hidden must be",
                             "settings error: line 5: ", "settings error: line 6: the root 'rel/x'",
                             "setting exclude: node_modules\n", "setting hidden: no\n"})
        EXPECT_NE(st.find(line), std::string::npos) << line << "\n" << st;
    EXPECT_EQ(world.found(".txt"), world.files({"keep/k.txt"}));
    // Logged once, not at every look at the file.
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    const std::string log = world.indexDir() + "/indexd.log";
    EXPECT_EQ(testing::countOf(qf::test::readFile(log), "hidden must be"), 1u) << qf::test::readFile(log);

    pid_t pid = world.servicePid();
    auto apply = [&](const std::string& settings, const std::vector<std::string>& indexed, const std::string& line) {
        writeSettings(settings);
        EXPECT_TRUE(pollUntil([&] { return world.found(".txt") == world.files(indexed); }))
            << settings << world.status();
        st = world.status();
        EXPECT_NE(st.find(withRoot(line)), std::string::npos) << st;
        EXPECT_EQ(st.find("settings error") != std::string::npos, line.find("error") != std::string::npos) << st;
    };
    apply("", kTree, "setting exclude: nothing");
    apply("exclude = ROOT/skip \"sp ace\"\nexclude = .dot.txt\n",
          {"a/node_modules/x.txt", "a/.hidden/h.txt", "a/.dot.txt", "keep/k.txt"},
          "setting exclude: \"sp ace\" .dot.txt ROOT/skip");
    apply("exclude = node_modules\nhidden = no\nnetwork = yes\n", {"keep/k.txt", "skip/s.txt", "sp ace/z.txt"},
          "setting network: yes");
    // Left out while excluded, also when created meanwhile.
    touch(world.file("b/node_modules/new.txt"));
    touch(world.file("b/seen.txt"));
    EXPECT_TRUE(pollUntil([&] { return world.found("seen.txt").size() == 1; }));
    EXPECT_TRUE(world.found("new.txt").empty());
    // What is let in again comes back, though no folder time moved.
    std::vector<std::string> all = kTree;
    all.insert(all.end(), {"b/node_modules/new.txt", "b/seen.txt"});
    apply("exclude = sp\n", all, "setting exclude: sp\n");
    apply("roots = ROOT/keep:ROOT/b\n", {"b/node_modules/new.txt", "b/seen.txt", "keep/k.txt"},
          "setting roots: ROOT/keep:ROOT/b");
    // A root that is no folder is reported, not silently left out (one that
    // does not exist is waited for: LateRootTest).
    apply("roots = ROOT/keep:ROOT/skip/s.txt\n", {"keep/k.txt"},
          "settings error: the root 'ROOT/skip/s.txt' is not a folder");
    // A roots line with no folder that can be used indexes nothing.
    apply("roots = keep\n", {}, "settings error: line 1: roots names no folder");
    EXPECT_EQ(world.servicePid(), pid);
}

// A root the settings name that does not exist yet is indexed once it
// appears, however deep below the nearest folder that exists; one that
// goes is dropped and waited for again; one replaced is read afresh. In
// both kinds of watch.
class LateRootTest : public ProcessTest, public ::testing::WithParamInterface<bool> {};

TEST_P(LateRootTest, ARootThatAppearsLaterIsIndexedAndOneThatGoesIsWaitedFor) {
    std::optional<testing::MountTableLock> settled;
    if (GetParam()) settled.emplace();
    useDefaultRoots();
    world.extraEnv["QUILLFIND_INDEX_FANOTIFY"] = GetParam() ? "1" : "0";
    touch(world.file("keep/k.txt"));
    writeSettings("roots = ROOT/later:ROOT/deep/er/root:ROOT/keep\n");
    ASSERT_TRUE(world.start());
    std::string st = world.status();
    if (GetParam() && st.find("(fanotify): 1") == std::string::npos) GTEST_SKIP() << "fanotify needs CAP_SYS_ADMIN";
    EXPECT_NE(st.find(withRoot("root waiting to appear: ROOT/later\n")), std::string::npos) << st;
    EXPECT_EQ(st.find("settings error"), std::string::npos) << st;
    auto findsWithin5s = [&](const std::string& term, const std::vector<std::string>& files) {
        return pollUntil([&] { return world.found(term) == world.files(files); }, std::chrono::seconds(5));
    };
    touch(world.file("later/first.txt"));
    EXPECT_TRUE(findsWithin5s(".txt", {"keep/k.txt", "later/first.txt"})) << world.status();
    touch(world.file("deep/er/root/second.txt"));
    EXPECT_TRUE(findsWithin5s("second", {"deep/er/root/second.txt"})) << world.status();
    fs::remove_all(world.file("later"));
    EXPECT_TRUE(findsWithin5s("first", {}));
    EXPECT_TRUE(pollUntil([&] { return world.status().find("root waiting to appear") != std::string::npos; }));
    touch(world.file("later/third.txt"));
    EXPECT_TRUE(findsWithin5s("third", {"later/third.txt"}));
    // Replaced in one step: what the old folder held goes.
    touch(world.file("new-later/fourth.txt"));
    ASSERT_EQ(
        ::renameat2(AT_FDCWD, world.file("new-later").c_str(), AT_FDCWD, world.file("later").c_str(), RENAME_EXCHANGE),
        0);
    EXPECT_TRUE(findsWithin5s(".txt", {"deep/er/root/second.txt", "keep/k.txt", "later/fourth.txt"})) << world.status();
    // Live changes in it are followed.
    touch(world.file("later/fifth.txt"));
    EXPECT_TRUE(findsWithin5s("fifth", {"later/fifth.txt"}));
    // A folder that changed while outside the roots is followed once the
    // settings let it in (the mark is seen after the change before it).
    touch(world.file("other/sixth.txt"));
    touch(world.file("keep/mark"));
    ASSERT_TRUE(findsWithin5s("mark", {"keep/mark"}));
    writeSettings("roots = ROOT/keep:ROOT/other\n");
    EXPECT_TRUE(findsWithin5s("sixth", {"other/sixth.txt"}));
    touch(world.file("other/seventh.txt"));
    EXPECT_TRUE(findsWithin5s("seventh", {"other/seventh.txt"}));
}

INSTANTIATE_TEST_SUITE_P(Watches, LateRootTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "fanotify" : "inotify"; });

// A settings file that exists but cannot be used stands for settings that
// are not known: at start nothing is indexed until it can be used; while
// running, the settings in force stay. A missing file means the defaults.
// (Every kind that cannot be used: SettingsFileTest; a FIFO here, as it
// would also hang a reader that opened it.)
TEST_F(ProcessTest, ASettingsFileThatCannotBeUsedNeverWidensTheIndex) {
    useDefaultRoots();
    for (const std::string& f : kTree) touch(world.file(f));
    const std::string conf = world.settingsFile();
    fs::create_directories(fs::path(conf).parent_path());
    // Swapped in whole: a moment without a file would mean the defaults.
    auto plant = [&](bool usable) {
        const std::string fresh = conf + ".fresh";
        if (usable)
            qf::test::writeFile(fresh, withRoot("roots = ROOT/keep\n"));
        else
            ASSERT_EQ(::mkfifo(fresh.c_str(), 0600), 0);
        ASSERT_EQ(::renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, conf.c_str(), fs::exists(conf) ? RENAME_EXCHANGE : 0),
                  0);
        fs::remove_all(fresh);
    };
    auto failure = [&](const char* held) {
        return pollUntil([&] {
            std::string st = world.status();
            return st.find("settings error: '" + conf + "' cannot be used: not a regular file") != std::string::npos &&
                   st.find(held) != std::string::npos;
        });
    };
    plant(false);
    ASSERT_TRUE(world.start());
    EXPECT_TRUE(failure("nothing is indexed until it can be used")) << world.status();
    EXPECT_EQ(world.found(".txt"), world.files({}));
    // Once it can be used, it is applied without a restart.
    plant(true);
    EXPECT_TRUE(pollUntil([&] { return world.found(".txt") == world.files({"keep/k.txt"}); })) << world.status();
    // While running, the settings in force stay: nothing else comes in.
    plant(false);
    EXPECT_TRUE(failure("the settings read before stay in force")) << world.status();
    touch(world.file("skip/new.txt"));
    touch(world.file("keep/new.txt"));
    EXPECT_TRUE(pollUntil([&] { return world.found("new.txt") == world.files({"keep/new.txt"}); }))
        << ::testing::PrintToString(world.found("new.txt")) << world.status();
    // A missing file means the defaults: everything.
    fs::remove_all(conf);
    std::vector<std::string> all = kTree;
    all.insert(all.end(), {"keep/new.txt", "skip/new.txt"});
    EXPECT_TRUE(pollUntil([&] { return world.found(".txt") == world.files(all); })) << world.status();
}

// With the default roots, a disk under run/media; else one under the root.
class MountTest : public ProcessTest, public ::testing::WithParamInterface<bool> {};

TEST_P(MountTest, AMountedDiskIsSearchableUntilUnmountedTwice) {
    const bool defaultRoots = GetParam();
    const std::string mountPoint = defaultRoots ? "run/media/tester/disk" : "mnt/disk";
    if (defaultRoots) useDefaultRoots();
    testing::TempDir images;
    testing::LoopDisk disk(images.path() + "/disk.img", world.file(mountPoint));
    if (!disk.skipReason().empty()) GTEST_SKIP() << disk.skipReason();
    touch(world.file("run/other.txt"));
    touch(world.file("home.txt"));
    ASSERT_TRUE(world.start());
    const std::vector<std::string> onDisk = {world.file(mountPoint + "/folder/ondisk.txt")};
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_TRUE(disk.mount()) << disk.skipReason();
        EXPECT_TRUE(pollUntil([&] { return world.found("ondisk") == onDisk; }, std::chrono::seconds(10)))
            << world.status();
        // Live changes on the disk are followed (fanotify marks it again).
        touch(world.file(mountPoint + "/live" + std::to_string(round) + ".txt"));
        EXPECT_TRUE(pollUntil([&] { return world.found("live" + std::to_string(round)).size() == 1; }));
        ASSERT_TRUE(disk.unmount());
        EXPECT_TRUE(pollUntil([&] { return world.found("ondisk").empty() && world.found("live").empty(); },
                              std::chrono::seconds(10)));
    }
    EXPECT_EQ(world.found("home.txt"), world.files({"home.txt"}));
    // With the default roots, run stays pruned apart from the disks under run/media.
    EXPECT_EQ(world.found("other.txt").empty(), defaultRoots);
}

INSTANTIATE_TEST_SUITE_P(Disks, MountTest, ::testing::Bool(), [](const auto& info) {
    return info.param ? "UnderRunMediaWithDefaultRoots" : "UnderAWatchedRoot";
});

}  // namespace
}  // namespace qf::index
