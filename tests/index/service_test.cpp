#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "index/service/answer.h"
#include "index/service/service.h"
#include "index_test_support.h"

namespace qf::index {
namespace {

using testing::answered;
using testing::namesContaining;
using testing::pollUntil;
using testing::touch;
namespace fs = std::filesystem;

class ServiceTest : public ::testing::Test {
protected:
    ServiceOptions options() {
        ServiceOptions o;
        o.roots = {root};
        o.snapshotPath = dir / "snapshot";
        o.crawlThreads = 2;
        o.rescanSeconds = 1;
        return o;
    }
    std::string p(const std::string& rel) const { return root + "/" + rel; }
    // Polls until the answer to `term` is exactly `expected`.
    bool eventually(Service& s, const std::string& term, std::vector<std::string> expected) {
        return pollUntil([&] { return namesContaining(s, term) == testing::sorted(expected); });
    }
    bool settled(Service& s, size_t entries) {
        return pollUntil([&] { return s.status().crawling == Flag::no && s.status().entries == entries; });
    }

    testing::TempDir dir;
    std::string root = fs::canonical(dir.path()).string() + "/root";
};

TEST_F(ServiceTest, CrawlAnswersMeanwhileAndFollowsNoSymlinks) {
    touch(p("fast/Réport.txt"));
    touch(p("fast/a/b/deep report.md"));
    touch(p("slow/report-slow.txt"));
    touch(dir / "outside/report-outside.txt");
    fs::create_directory_symlink(dir / "outside", p("link-to-outside"));
    std::atomic<bool> release = false;
    ServiceOptions o = options();
    o.beforeListing = [&](const std::string& folder) {
        if (folder == p("slow")) pollUntil([&] { return release.load(); }, std::chrono::seconds(30));
    };
    Service s(o);
    ASSERT_TRUE(s.start());
    // The crawl is held inside "slow"; what is indexed already answers, and
    // says that it may lack items.
    EXPECT_TRUE(eventually(s, "report", {p("fast/Réport.txt"), p("fast/a/b/deep report.md")}));
    EXPECT_EQ(s.status().crawling, Flag::yes);
    std::string notice;
    namesContaining(s, "report", &notice);
    EXPECT_NE(notice.find("still being built"), std::string::npos) << notice;
    release = true;
    ASSERT_TRUE(settled(s, 8));
    notice.clear();
    EXPECT_EQ(namesContaining(s, "report", &notice),
              testing::sorted({p("fast/Réport.txt"), p("fast/a/b/deep report.md"), p("slow/report-slow.txt")}));
    EXPECT_EQ(notice, "");
    // The link itself is an item; what it points at is not crawled.
    EXPECT_EQ(namesContaining(s, "link-to"), (std::vector<std::string>{p("link-to-outside")}));
}

// Live updates through inotify watches per folder, and through fanotify
// marks on the whole file system where the service may place them.
class LiveUpdateTest : public ServiceTest, public ::testing::WithParamInterface<bool> {};

TEST_P(LiveUpdateTest, FollowTheFileSystem) {
    touch(p("docs/old.txt"));
    ServiceOptions o = options();
    o.useFanotify = GetParam();
    Service s(o);
    ASSERT_TRUE(s.start());
    ASSERT_TRUE(settled(s, 2));
    ServiceStatus st = s.status();
    bool fanotify = st.fanotifyFileSystems == 1u;
    if (GetParam() && !fanotify) GTEST_SKIP() << "fanotify file-system marks need CAP_SYS_ADMIN";
    EXPECT_EQ(st.watches, fanotify ? 0u : 2u);

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
    EXPECT_TRUE(eventually(s, ".txt", {p("docs/old.txt"), p("fresh/inner/two.txt"), p("fresh/one.txt")}));
    // A renamed folder carries its contents; later changes inside it count.
    fs::rename(p("fresh"), p("moved"));
    EXPECT_TRUE(eventually(s, ".txt", {p("docs/old.txt"), p("moved/inner/two.txt"), p("moved/one.txt")}));
    touch(p("moved/inner/three.txt"));
    EXPECT_TRUE(eventually(s, "three", {p("moved/inner/three.txt")})) << "inside a moved folder";
    // A folder moved out of the tree disappears with everything in it.
    fs::rename(p("moved"), dir / "away");
    EXPECT_TRUE(eventually(s, ".txt", {p("docs/old.txt")})) << "moved out";
    // ... and one moved in from outside arrives with its contents, and is
    // followed from then on.
    touch(dir / "away/inner/while-away.txt");
    // Time for the watcher to see that change while the folder is outside.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    fs::rename(dir / "away", p("back"));
    EXPECT_TRUE(eventually(s, "while-away", {p("back/inner/while-away.txt")})) << "moved in";
    touch(p("back/inner/four.txt"));
    EXPECT_TRUE(eventually(s, "four", {p("back/inner/four.txt")})) << "inside a folder moved in";
    fs::remove_all(p("back"));
    fs::remove_all(p("docs"));
    EXPECT_TRUE(eventually(s, "o", {})) << "recursive delete";

    // A content change updates the change time.
    touch(p("a.txt"));
    ASSERT_TRUE(testing::setChangeTime(p("a.txt"), std::time(nullptr) - 5 * 86400));
    Request recent;
    recent.op = Request::Op::changedBetween;
    recent.notBefore = std::time(nullptr) - 86400;
    EXPECT_TRUE(pollUntil([&] { return answered(s, recent).empty(); })) << "aged";
    std::ofstream(p("a.txt"), std::ios::app) << "more";
    EXPECT_TRUE(pollUntil([&] { return answered(s, recent) == std::vector<std::string>{p("a.txt")}; })) << "written";
}

INSTANTIATE_TEST_SUITE_P(Watches, LiveUpdateTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "fanotify" : "inotify"; });

// Answers straight from an index whose root is the system's: paths below
// it have one slash, -onlyin takes whole folder names (with -count too),
// and changes come newest first, as readers keep the first lines.
TEST(AnswerTest, PathsFoldersAndOrder) {
    IndexState state;
    IndexStore& s = state.store;
    const auto add = [&](uint32_t parent, const char* name, EntryType type, int64_t seconds) {
        return s.addChild(parent, name, name, type, seconds * 1'000'000'000, kNoTime);
    };
    const uint32_t etc = add(s.addRoot("/"), "etc", EntryType::dir, 3);
    add(add(etc, "a", EntryType::dir, 1), "x", EntryType::file, 5);
    add(add(etc, "ab", EntryType::dir, 2), "x", EntryType::file, 4);
    using Op = Request::Op;
    using Paths = std::vector<std::string>;
    const struct {
        Op op;
        const char* value;
        Paths onlyIn;
        bool countOnly;
        Paths answer;  // changes: since the second second
    } cases[] = {
        {Op::nameContains, "et", {}, false, {"/etc"}},
        {Op::nameContains, "x", {"/etc/a"}, false, {"/etc/a/x"}},
        {Op::nameContains, "x", {"/etc/a"}, true, {"1"}},
        {Op::changedBetween, "", {}, false, {"/etc/a/x", "/etc/ab/x", "/etc", "/etc/ab"}},
    };
    for (const auto& c : cases) {
        Request request;
        request.op = c.op;
        request.value = c.value;
        request.onlyIn = c.onlyIn;
        request.countOnly = c.countOnly;
        request.notBefore = 2;
        Paths answer;
        auto answered = streamAnswer(state, request, 1, [&](const std::string& bytes) {
            for (const std::string& record : testing::splitLines(bytes, '\0')) answer.push_back(record.substr(1));
            return true;
        });
        ASSERT_TRUE(answered) << answered.error().message();
        EXPECT_EQ(answer, c.answer) << c.value;
    }
}

// Names are searchable before the crawl has read their files' times; an
// answer by change time waits for those times, and fails rather than answer
// short when they take too long.
TEST_F(ServiceTest, NamesComeFirstAndChangeAnswersWaitForTheTimes) {
    using namespace std::chrono_literals;
    const std::time_t now = std::time(nullptr);
    touch(p("docs/fresh.txt"));
    touch(p("docs/stale.txt"));
    ASSERT_TRUE(testing::setChangeTime(p("docs/stale.txt"), now - 5 * 86400));
    Request recent;
    recent.op = Request::Op::changedBetween;
    recent.notBefore = now - 86400;
    struct Case {
        const char* what;
        std::chrono::milliseconds wait;
        bool releasedWhileWaiting;
    };
    for (const Case& c : {Case{"times read while the answer waits", 20s, true},
                          Case{"times still held when the wait ends", 200ms, false}}) {
        SCOPED_TRACE(c.what);
        std::atomic<bool> release = false;
        ServiceOptions o = options();
        o.timesWait = c.wait;
        o.beforeReadingTimes = [&](const std::string& folder) {
            if (folder == p("docs")) pollUntil([&] { return release.load(); }, 30s);
        };
        Service s(o);
        ASSERT_TRUE(s.start());
        ASSERT_TRUE(settled(s, 3));
        EXPECT_EQ(namesContaining(s, "fresh"), (std::vector<std::string>{p("docs/fresh.txt")}));
        EXPECT_EQ(s.status().timesPending, 1u);
        EXPECT_FALSE(s.status().lastCrawlTimesMs);

        std::vector<std::string> files;
        auto answer = std::async(std::launch::async, [&] {
            return s.answer(recent, [&](const std::string& bytes) {
                for (const std::string& rec : testing::splitLines(bytes, '\0'))
                    if (rec.ends_with(".txt")) files.push_back(rec.substr(1));
                return true;
            });
        });
        if (c.releasedWhileWaiting) {
            EXPECT_EQ(answer.wait_for(300ms), std::future_status::timeout);
            release = true;
            Expected<void> answered = answer.get();
            ASSERT_TRUE(answered) << answered.error().message();
            EXPECT_EQ(files, (std::vector<std::string>{p("docs/fresh.txt")}));
        } else {
            Expected<void> answered = answer.get();
            ASSERT_FALSE(answered);
            EXPECT_NE(answered.error().message().find("change times"), std::string::npos) << answered.error().message();
            EXPECT_TRUE(files.empty());
            release = true;
        }
        EXPECT_TRUE(pollUntil([&] { return s.status().timesPending == 0u; }));
        EXPECT_TRUE(s.status().lastCrawlTimesMs);
    }
}

TEST_F(ServiceTest, SnapshotAnswersAtOnceAfterRestartThenCatchesUp) {
    touch(p("keep/kept.txt"));
    touch(p("keep/doomed.txt"));
    ServiceOptions wider = options();
    wider.roots = {fs::canonical(dir.path()).string()};
    // Each saves its snapshot when it ends; that of the wider roots is not used.
    for (const ServiceOptions& o : {wider, options()}) {
        Service s(o);
        s.loadSnapshot();
        EXPECT_EQ(s.status().entries, 0u) << "a snapshot of other roots was used";
        ASSERT_TRUE(s.start());
        ASSERT_TRUE(pollUntil([&] { return s.status().crawling == Flag::no && s.status().entries > 0; }));
    }
    // Changes while the service is down.
    fs::remove(p("keep/doomed.txt"));
    touch(p("keep/added.txt"));
    Service s(options());
    s.loadSnapshot();
    // Before any crawl: the snapshot as it was.
    EXPECT_EQ(namesContaining(s, ".txt"), (std::vector<std::string>{p("keep/doomed.txt"), p("keep/kept.txt")}));
    EXPECT_EQ(s.status().snapshotLoaded, Flag::yes);
    ASSERT_TRUE(s.start());
    EXPECT_TRUE(eventually(s, ".txt", {p("keep/added.txt"), p("keep/kept.txt")}));
}

TEST(RetryBackoffTest, DoublesUpToTheLongestAndLogsOncePerChangeOfState) {
    RetryBackoff retry(1000, 5000);
    // When, why it failed (nullptr: it succeeds), whether that is logged and
    // the first moment the next attempt is due.
    const std::tuple<int64_t, const char*, bool, int64_t> steps[] = {
        {0, "full", true, 1000},           {1000, "full", false, 3000},   {3000, "full", false, 7000},
        {7000, "full", false, 12000},      {12000, "full", false, 17000},  // capped at 5 s
        {17000, "read-only", true, 22000},                                 // another reason is worth a line
        {22000, nullptr, true, 22000},                                     // recovery too
        {30000, "full", true, 31000},                                      // and a new run starts afresh
    };
    for (const auto& [at, reason, logged, nextDue] : steps) {
        ASSERT_TRUE(retry.due(at)) << at;
        EXPECT_EQ(reason ? retry.failed(at, reason) : retry.succeeded(), logged) << at;
        EXPECT_FALSE(reason && retry.due(nextDue - 1)) << at;
        EXPECT_TRUE(retry.due(nextDue)) << at;
    }
}

}  // namespace
}  // namespace qf::index
