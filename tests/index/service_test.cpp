#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <mutex>

#include "index_test_support.h"
#include "service.h"
#include "snapshot.h"
#include "wire.h"

namespace qf::index {
namespace {

using testing::pollUntil;
using testing::TempDir;
using testing::touch;
namespace fs = std::filesystem;

class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::canonical(dir.path()).string() + "/root";
    fs::create_directories(root);
  }

  ServiceOptions options() {
    ServiceOptions o;
    o.roots = {root};
    o.snapshotPath = dir / "snapshot";
    o.crawlThreads = 2;
    o.searchThreads = 2;
    o.rescanSeconds = 1;
    return o;
  }

  static std::vector<std::string> ask(Service& s, const Request& r) {
    std::vector<std::string> out;
    s.answer(r, [&](const std::string& bytes) {
      for (const std::string& rec : testing::splitLines(bytes, '\0'))
        out.push_back(rec);
      return true;
    });
    std::vector<std::string> paths;
    for (const std::string& rec : out)
      paths.push_back(rec[0] == 'P' ? rec.substr(1) : rec);
    std::sort(paths.begin(), paths.end());
    return paths;
  }
  static Request name(const std::string& term) {
    Request r;
    r.op = Request::Op::NameContains;
    r.value = term;
    return r;
  }
  std::string p(const std::string& rel) const { return root + "/" + rel; }
  // Polls until the answer to `term` is exactly `expected`.
  bool eventually(Service& s, const std::string& term, std::vector<std::string> expected) {
    std::sort(expected.begin(), expected.end());
    return pollUntil([&] { return ask(s, name(term)) == expected; });
  }

  TempDir dir;
  std::string root;
};

TEST_F(ServiceTest, CrawlIndexesTheTreeWithoutFollowingSymlinks) {
  touch(p("Réport.txt"));
  touch(p("a/b/c/deep report.md"));
  touch(dir / "outside/report-outside.txt");
  fs::create_directory_symlink(dir / "outside", p("link-to-outside"));
  Service s(options());
  s.start();
  ASSERT_TRUE(pollUntil([&] { return s.crawlIdle() && s.entryCount() == 6; }));
  EXPECT_EQ(ask(s, name("report")),
            (std::vector<std::string>{p("Réport.txt"), p("a/b/c/deep report.md")}));
  // The link itself is an item; what it points at is not crawled.
  EXPECT_EQ(ask(s, name("link-to")), (std::vector<std::string>{p("link-to-outside")}));
  EXPECT_TRUE(ask(s, name("outside.txt")).empty());
}

TEST_F(ServiceTest, UnreadableFoldersAreSkippedSilently) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  touch(p("open/visible.txt"));
  touch(p("closed/hidden.txt"));
  fs::permissions(p("closed"), fs::perms::none);
  Service s(options());
  s.start();
  ASSERT_TRUE(pollUntil([&] { return s.crawlIdle(); }));
  EXPECT_EQ(ask(s, name("visible")).size(), 1u);
  EXPECT_EQ(ask(s, name("closed")).size(), 1u);
  EXPECT_TRUE(ask(s, name("hidden")).empty());
  fs::permissions(p("closed"), fs::perms::owner_all);
}

TEST_F(ServiceTest, QueriesAreAnsweredDuringTheCrawl) {
  touch(p("fast/report-fast.txt"));
  touch(p("slow/report-slow.txt"));
  std::mutex m;
  std::condition_variable cv;
  bool release = false;
  ServiceOptions o = options();
  o.beforeListing = [&](const std::string& folder) {
    if (folder != p("slow")) return;
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return release; });
  };
  Service s(o);
  s.start();
  // The crawl is held inside "slow"; what is indexed already answers.
  EXPECT_TRUE(eventually(s, "report", {p("fast/report-fast.txt")}));
  EXPECT_FALSE(s.crawlIdle());
  EXPECT_NE(s.statusText().find("state: crawling"), std::string::npos);
  {
    std::lock_guard lock(m);
    release = true;
  }
  cv.notify_all();
  EXPECT_TRUE(eventually(s, "report", {p("fast/report-fast.txt"), p("slow/report-slow.txt")}));
  EXPECT_TRUE(pollUntil([&] { return s.crawlIdle(); }));
  EXPECT_NE(s.statusText().find("state: idle"), std::string::npos);
}

TEST_F(ServiceTest, LiveUpdatesFollowTheFileSystem) {
  touch(p("docs/old.txt"));
  Service s(options());
  s.start();
  ASSERT_TRUE(pollUntil([&] { return s.crawlIdle() && s.entryCount() == 2; }));

  touch(p("docs/created.txt"));
  EXPECT_TRUE(eventually(s, "created", {p("docs/created.txt")})) << "create";

  fs::rename(p("docs/created.txt"), p("docs/renamed.txt"));
  EXPECT_TRUE(eventually(s, "created", {})) << "rename away";
  EXPECT_TRUE(eventually(s, "renamed", {p("docs/renamed.txt")})) << "rename to";

  fs::remove(p("docs/renamed.txt"));
  EXPECT_TRUE(eventually(s, "renamed", {})) << "delete";

  // A new folder whose files are written right after it appears.
  fs::create_directory(p("fresh"));
  touch(p("fresh/one.txt"));
  touch(p("fresh/inner/two.txt"));
  EXPECT_TRUE(eventually(s, ".txt", {p("docs/old.txt"), p("fresh/inner/two.txt"), p("fresh/one.txt")}))
      << "new folder";

  // A renamed folder carries its contents; later changes inside it count.
  fs::rename(p("fresh"), p("moved"));
  EXPECT_TRUE(eventually(s, ".txt", {p("docs/old.txt"), p("moved/inner/two.txt"), p("moved/one.txt")}))
      << "folder rename";
  touch(p("moved/inner/three.txt"));
  EXPECT_TRUE(eventually(s, "three", {p("moved/inner/three.txt")})) << "inside a moved folder";

  // A folder moved out of the tree disappears with everything in it.
  fs::rename(p("moved"), dir / "away");
  EXPECT_TRUE(eventually(s, ".txt", {p("docs/old.txt")})) << "moved out";

  fs::remove_all(p("docs"));
  EXPECT_TRUE(eventually(s, "o", {})) << "recursive delete";
}

TEST_F(ServiceTest, ContentChangesUpdateTheChangeTime) {
  touch(p("a.txt"));
  Service s(options());
  s.start();
  ASSERT_TRUE(pollUntil([&] { return s.crawlIdle() && s.entryCount() == 1; }));
  // Age the file, then let the watch see the new time.
  struct timespec old[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 5 * 86400, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, p("a.txt").c_str(), old, 0), 0);
  Request recent;
  recent.op = Request::Op::ChangedBetween;
  recent.notBefore = std::time(nullptr) - 86400;
  EXPECT_TRUE(pollUntil([&] { return ask(s, recent).empty(); }));
  std::ofstream(p("a.txt"), std::ios::app) << "more";
  EXPECT_TRUE(pollUntil([&] { return ask(s, recent) == std::vector<std::string>{p("a.txt")}; }));
}

TEST_F(ServiceTest, CountAndOnlyIn) {
  touch(p("x/report1"));
  touch(p("x/report2"));
  touch(p("xy/report3"));
  Service s(options());
  s.start();
  ASSERT_TRUE(pollUntil([&] { return s.crawlIdle() && s.entryCount() == 5; }));
  Request r = name("report");
  r.onlyIn = {p("x")};
  EXPECT_EQ(ask(s, r), (std::vector<std::string>{p("x/report1"), p("x/report2")}));
  r.countOnly = true;
  EXPECT_EQ(ask(s, r), (std::vector<std::string>{"C2"}));
  r.onlyIn.clear();
  EXPECT_EQ(ask(s, r), (std::vector<std::string>{"C3"}));
}

TEST_F(ServiceTest, WatchLimitFallsBackToPeriodicRescans) {
  touch(p("sub/first.txt"));
  ServiceOptions o = options();
  o.maxWatches = 1;  // the root only
  Service s(o);
  s.start();
  ASSERT_TRUE(pollUntil([&] { return s.crawlIdle() && s.entryCount() == 2; }));
  std::string status = s.statusText();
  EXPECT_NE(status.find("unwatched folders: 1 (inotify watch limit reached"), std::string::npos) << status;
  touch(p("sub/second.txt"));
  EXPECT_TRUE(eventually(s, "second", {p("sub/second.txt")}));
  fs::remove(p("sub/first.txt"));
  EXPECT_TRUE(eventually(s, "first", {}));
}

TEST_F(ServiceTest, SnapshotAnswersAtOnceAfterRestartThenCatchesUp) {
  touch(p("keep/kept.txt"));
  touch(p("keep/doomed.txt"));
  {
    Service s(options());
    s.start();
    ASSERT_TRUE(pollUntil([&] { return s.crawlIdle() && s.entryCount() == 3; }));
    s.stop();
  }
  ASSERT_TRUE(fs::exists(dir / "snapshot"));
  // Changes while the service is down.
  fs::remove(p("keep/doomed.txt"));
  touch(p("keep/added.txt"));
  Service s(options());
  s.loadSnapshot();
  // Before any crawl: the snapshot as it was.
  EXPECT_EQ(ask(s, name(".txt")), (std::vector<std::string>{p("keep/doomed.txt"), p("keep/kept.txt")}));
  EXPECT_NE(s.statusText().find("loaded at start"), std::string::npos);
  s.start();
  EXPECT_TRUE(eventually(s, ".txt", {p("keep/added.txt"), p("keep/kept.txt")}));
}

TEST_F(ServiceTest, CorruptSnapshotIsDiscardedAndAFullCrawlFollows) {
  touch(p("file.txt"));
  std::ofstream(dir / "snapshot", std::ios::binary) << std::string(200, '\x7f');
  ::testing::internal::CaptureStderr();
  Service s(options());
  s.loadSnapshot();
  std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("discarded"), std::string::npos) << log;
  EXPECT_EQ(s.entryCount(), 0u);
  s.start();
  EXPECT_TRUE(eventually(s, "file", {p("file.txt")}));
  // The next snapshot replaces the damaged one.
  s.stop();
  IndexStore loaded;
  EXPECT_EQ(loadSnapshot(dir / "snapshot", loaded, nullptr), SnapshotLoad::Loaded);
}

TEST_F(ServiceTest, SnapshotOfOtherRootsIsNotUsed) {
  touch(p("mine.txt"));
  {
    ServiceOptions o = options();
    o.roots = {fs::canonical(dir.path()).string()};
    Service s(o);
    s.start();
    ASSERT_TRUE(pollUntil([&] { return s.crawlIdle(); }));
  }
  ::testing::internal::CaptureStderr();
  Service s(options());
  s.loadSnapshot();
  std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("other roots"), std::string::npos) << log;
  EXPECT_EQ(s.entryCount(), 0u);
}

TEST_F(ServiceTest, StatusReportsTheCounters) {
  touch(p("a/b.txt"));
  Service s(options());
  s.start();
  ASSERT_TRUE(pollUntil([&] { return s.crawlIdle() && s.entryCount() == 2; }));
  std::string status = s.statusText();
  for (const char* line : {"state: idle", "entries: 2", "watches: 2", "unwatched folders: 0",
                           "root: ", "snapshot: "})
    EXPECT_NE(status.find(line), std::string::npos) << line << "\n" << status;
}

}  // namespace
}  // namespace qf::index
