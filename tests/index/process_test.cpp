// mdfind and quillfind-indexd as whole processes, each test in a private
// index world (roots, index folder and XDG folders in a temporary folder).

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cstring>
#include <fstream>

#include "fold.h"
#include "index_test_support.h"
#include "search.h"
#include "snapshot.h"

namespace qf::index {
namespace {

using testing::pollUntil;
using testing::ProcessResult;
using testing::ServiceWorld;
using testing::touch;
namespace fs = std::filesystem;

class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testing::binDir().empty() || !fs::exists(testing::binDir() + "/mdfind"))
      GTEST_SKIP() << "QF_BIN_DIR with mdfind is not set";
  }
  // Starts the service and waits for its first crawl to finish.
  void startAndSettle() {
    ProcessResult r = world.mdfind({"--start-service"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_TRUE(world.waitIdle());
  }
  std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
  }
  ServiceWorld world;
};

TEST_F(ProcessTest, MdfindStartsTheServiceOnDemandInAPrivateFolder) {
  touch(world.file("Réport.txt"));
  // The first query starts the service; later ones find the file.
  ProcessResult first = world.mdfind({"-name", "report"});
  EXPECT_EQ(first.exitCode, 0) << first.err;
  EXPECT_TRUE(pollUntil([&] { return world.lines({"-name", "RÉPORT"}) ==
                                     std::vector<std::string>{world.file("Réport.txt")}; }));
  struct stat st{};
  ASSERT_EQ(::stat(world.indexDir().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(::stat((world.indexDir() + "/indexd.sock").c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(st.st_mode & 077, 0u);
  EXPECT_TRUE(testing::processAlive(world.servicePid()));
}

TEST_F(ProcessTest, OnlyOneServiceRunsPerIndexFolder) {
  startAndSettle();
  pid_t first = world.servicePid();
  ProcessResult second = testing::runProcess({testing::binDir() + "/quillfind-indexd"}, world.env(),
                                             std::chrono::seconds(10));
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_NE(second.err.find("already running"), std::string::npos) << second.err;
  ProcessResult daemonized = testing::runProcess(
      {testing::binDir() + "/quillfind-indexd", "--daemonize"}, world.env(), std::chrono::seconds(10));
  EXPECT_EQ(daemonized.exitCode, 0);
  EXPECT_EQ(world.servicePid(), first);
}

TEST_F(ProcessTest, ProgramCommandLinesThroughTheShell) {
  touch(world.file("docs/i'm here.txt"));
  touch(world.file("docs/Report1.PDF"));
  touch(world.file("docs/report12.pdf"));
  touch(world.file("old.txt"));
  struct timespec old[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 9 * 86400, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, world.file("old.txt").c_str(), old, 0), 0);
  startAndSettle();
  auto env = world.env();
  env["PATH"] = testing::binDir() + ":/usr/bin:/bin";
  auto shell = [&](const std::string& cmd) {
    return sorted(testing::splitLines(testing::runProcess({"/bin/sh", "-c", cmd}, env).out));
  };
  EXPECT_EQ(shell("mdfind \"kMDItemFSName == '*i'\\''m*'cd\" 2>/dev/null | head -50000"),
            std::vector<std::string>{world.file("docs/i'm here.txt")});
  EXPECT_EQ(shell("mdfind \"kMDItemFSName == '*.pdf'cd\" 2>/dev/null | head -50000"),
            sorted({world.file("docs/Report1.PDF"), world.file("docs/report12.pdf")}));
  EXPECT_EQ(shell("mdfind \"kMDItemFSName == 'report?.pdf'cd\" 2>/dev/null | head -50000"),
            std::vector<std::string>{world.file("docs/Report1.PDF")});
  std::vector<std::string> recent = shell("mdfind 'kMDItemFSContentChangeDate >= $time.today(-1d)' 2>/dev/null | head -2000");
  EXPECT_NE(std::find(recent.begin(), recent.end(), world.file("docs/report12.pdf")), recent.end());
  EXPECT_EQ(std::find(recent.begin(), recent.end(), world.file("old.txt")), recent.end());
}

TEST_F(ProcessTest, HeadClosingThePipeEndsMdfindQuietly) {
  for (int i = 0; i < 3000; ++i) touch(world.file("many/file-" + std::to_string(i) + ".txt"));
  startAndSettle();
  auto env = world.env();
  env["PATH"] = testing::binDir() + ":/usr/bin:/bin";
  ProcessResult r = testing::runProcess(
      {"/bin/sh", "-c", "mdfind \"kMDItemFSName == '*file*'cd\" | head -1; echo status=$?"}, env,
      std::chrono::seconds(10));
  EXPECT_EQ(testing::splitLines(r.out).size(), 2u) << r.out;
  EXPECT_NE(r.out.find("status=0"), std::string::npos);
  EXPECT_EQ(r.err, "");
}

TEST_F(ProcessTest, QueriesItDoesNotUnderstandFailClearly) {
  const std::vector<std::vector<std::string>> bad = {
      {"kMDItemFSName == 'abc"},
      {"kMDItemFSSize > 3"},
      {"kMDItemFSName == 'a'z"},
      {"-name"},
      {"-unknown", "x"},
      {},
      {"a", "b"},
  };
  for (const auto& args : bad) {
    ProcessResult r = world.mdfind(args);
    EXPECT_NE(r.exitCode, 0) << ::testing::PrintToString(args);
    EXPECT_EQ(r.out, "") << ::testing::PrintToString(args);
    ASSERT_EQ(testing::splitLines(r.err).size(), 1u) << r.err;
    EXPECT_EQ(r.err.rfind("mdfind: ", 0), 0u) << r.err;
  }
  // Refused before any service was needed.
  EXPECT_FALSE(fs::exists(world.indexDir() + "/indexd.sock"));
}

TEST_F(ProcessTest, OddNamesAreLeftOutOfLinesButNotOfNulOutput) {
  touch(world.file("odd/plain-odd"));
  touch(world.file("odd/line\nbreak-odd"));
  touch(world.file(std::string("odd/bad\xFF") + "-odd"));
  startAndSettle();
  EXPECT_EQ(world.lines({"-name", "-odd"}), std::vector<std::string>{world.file("odd/plain-odd")});
  ProcessResult nul = world.mdfind({"-0", "-name", "-odd"});
  std::vector<std::string> all = sorted(testing::splitLines(nul.out, '\0'));
  EXPECT_EQ(all, sorted({world.file("odd/plain-odd"), world.file("odd/line\nbreak-odd"),
                         world.file(std::string("odd/bad\xFF") + "-odd")}));
  EXPECT_EQ(world.lines({"-count", "-name", "-odd"}), std::vector<std::string>{"3"});
}

TEST_F(ProcessTest, OnlyInCountAndStatus) {
  touch(world.file("a/note-1"));
  touch(world.file("a/b/note-2"));
  touch(world.file("ab/note-3"));
  startAndSettle();
  EXPECT_EQ(sorted(world.lines({"-onlyin", world.file("a"), "-name", "note"})),
            sorted({world.file("a/note-1"), world.file("a/b/note-2")}));
  EXPECT_EQ(world.lines({"-onlyin", world.file("a/b/"), "-onlyin", world.file("ab"), "-count", "-name", "note"}),
            std::vector<std::string>{"2"});
  std::string status = world.mdfind({"--status"}).out;
  for (const char* line : {"state: idle", "entries: 6", "watches: ", "snapshot: ", "root: " })
    EXPECT_NE(status.find(line), std::string::npos) << line << "\n" << status;
}

TEST_F(ProcessTest, SigtermWritesTheSnapshotAndKillKeepsIt) {
  touch(world.file("before.txt"));
  startAndSettle();
  const std::string snapshot = world.indexDir() + "/index.snapshot";
  ASSERT_TRUE(pollUntil([&] { return fs::exists(snapshot); }));
  touch(world.file("later.txt"));
  ASSERT_TRUE(pollUntil([&] { return world.lines({"-name", "later"}).size() == 1; }));
  world.stopService();
  IndexStore saved;
  ASSERT_EQ(loadSnapshot(snapshot, saved, nullptr), SnapshotLoad::Loaded);
  EXPECT_EQ(findContaining(saved, "later", 1).size(), 1u);
  EXPECT_FALSE(fs::exists(world.indexDir() + "/indexd.sock"));

  // After kill -9 the snapshot is still whole and answers at once.
  startAndSettle();
  pid_t pid = world.servicePid();
  ::kill(pid, SIGKILL);
  ASSERT_TRUE(pollUntil([&] { return !testing::processAlive(pid); }));
  IndexStore afterKill;
  EXPECT_EQ(loadSnapshot(snapshot, afterKill, nullptr), SnapshotLoad::Loaded);
  EXPECT_EQ(world.lines({"-name", "before"}), std::vector<std::string>{world.file("before.txt")});
}

TEST_F(ProcessTest, CorruptSnapshotIsLoggedAndReplaced) {
  touch(world.file("x.txt"));
  fs::create_directories(world.indexDir());
  fs::permissions(world.indexDir(), fs::perms::owner_all, fs::perm_options::replace);
  std::ofstream(world.indexDir() + "/index.snapshot", std::ios::binary) << "QFINDEX\0garbage";
  startAndSettle();
  EXPECT_EQ(world.lines({"-name", "x.txt"}), std::vector<std::string>{world.file("x.txt")});
  std::ifstream log(world.indexDir() + "/indexd.log");
  std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("discarded"), std::string::npos) << text;
}

TEST_F(ProcessTest, OtherUsersCannotQueryTheService) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  touch(world.file("secret.txt"));
  startAndSettle();
  const std::string socketPath = world.indexDir() + "/indexd.sock";
  // Returns 'D' when connect was denied, 'R' when a reply came, 'C' when the
  // service closed the connection without answering.
  auto tryAsNobody = [&]() -> char {
    int fds[2];
    if (::pipe(fds) != 0) return '?';
    pid_t pid = ::fork();
    if (pid == 0) {
      ::close(fds[0]);
      char result = '?';
      if (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0) {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
        int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
          result = 'D';
        } else {
          const char req[] = "op=status\0\0";
          [[maybe_unused]] ssize_t w = ::send(s, req, sizeof req - 1, MSG_NOSIGNAL);
          char buf[16];
          result = ::recv(s, buf, sizeof buf, 0) > 0 ? 'R' : 'C';
        }
      }
      [[maybe_unused]] ssize_t w = ::write(fds[1], &result, 1);
      ::_exit(0);
    }
    ::close(fds[1]);
    char result = '?';
    [[maybe_unused]] ssize_t r = ::read(fds[0], &result, 1);
    ::close(fds[0]);
    ::waitpid(pid, nullptr, 0);
    return result;
  };
  // The private folder keeps everyone else out.
  EXPECT_EQ(tryAsNobody(), 'D');
  // Even with the folder and socket opened up, the peer check refuses.
  fs::permissions(world.indexDir(), fs::perms::all, fs::perm_options::replace);
  fs::permissions(socketPath, fs::perms::all, fs::perm_options::replace);
  fs::permissions(fs::path(world.indexDir()).parent_path(), fs::perms::all, fs::perm_options::add);
  EXPECT_EQ(tryAsNobody(), 'C');
  EXPECT_EQ(world.lines({"-name", "secret"}).size(), 1u);
}

// The program's dump mode, end to end through the real mdfind and service.
TEST_F(ProcessTest, DumpModeFindsRealFilesThroughTheService) {
  const std::string program = testing::binDir() + "/quillfind";
  if (!fs::exists(program)) GTEST_SKIP() << "build/bin/quillfind is not built yet";
  touch(world.file("projects/Annual Réport 2024.pdf"));
  touch(world.file("projects/report-notes.txt"));
  touch(world.file("projects/unrelated.txt"));
  startAndSettle();
  auto env = world.env();
  env["QUILLFIND_MDFIND"] = testing::binDir() + "/mdfind";
  env["QUILLFIND_DUMP"] = "1";
  struct Case {
    const char* query;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"report", {"projects/Annual Réport 2024.pdf", "projects/report-notes.txt"}},
      {"report .pdf", {"projects/Annual Réport 2024.pdf"}},
      {"*.TXT", {"projects/report-notes.txt", "projects/unrelated.txt"}},
      {"zzqx-nothing", {}},
  };
  for (const Case& c : cases) {
    env["QUILLFIND_QUERY"] = c.query;
    ProcessResult r = testing::runProcess({program}, env, std::chrono::seconds(30));
    EXPECT_EQ(r.exitCode, 0) << c.query;
    EXPECT_EQ(r.out, "") << c.query;
    std::vector<std::string> lines = testing::splitLines(r.err);
    ASSERT_FALSE(lines.empty()) << c.query;
    std::vector<std::string> expected;
    for (const std::string& rel : c.expected) expected.push_back(world.file(rel));
    std::vector<std::string> paths(lines.begin(), lines.end() - 1);
    EXPECT_EQ(sorted(paths), sorted(expected)) << c.query << "\n" << r.err;
    EXPECT_EQ(lines.back().rfind("TOTAL=", 0), 0u) << lines.back();
    EXPECT_NE(lines.back().find(" SHOWN=" + std::to_string(expected.size())), std::string::npos)
        << c.query << ": " << lines.back();
  }
}

}  // namespace
}  // namespace qf::index
