#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstring>
#include <random>
#include <set>

#include "index/store/byte_search.h"
#include "index/store/checksum.h"
#include "index/store/fold.h"
#include "index/store/index_store.h"
#include "index/store/search.h"
#include "index/store/snapshot.h"
#include "index_test_support.h"

namespace qf::index {
namespace {

using testing::TempDir;
constexpr FoldMode kBoth{true, true};
constexpr int64_t kMin = std::numeric_limits<int64_t>::min(), kMax = std::numeric_limits<int64_t>::max();

std::vector<std::string> paths(const IndexStore& store, const std::vector<uint32_t>& ids) {
    std::vector<std::string> out;
    for (uint32_t i : ids) out.push_back(store.path(i));
    return testing::sorted(out);
}

// /r/{Réport.txt, docs/{RÉPORT.pdf, 报告.doc, sub/{i'm here}}, notes.md}
class StoreTest : public ::testing::Test {
protected:
    uint32_t add(uint32_t parent, const std::string& name, EntryType type = EntryType::file, int64_t mtime = 100) {
        return store.addChild(parent, name, foldName(name), type, mtime * 1'000'000'000, mtime - 10);
    }
    std::vector<std::string> found(const std::vector<uint32_t>& ids) { return paths(store, ids); }
    std::vector<std::string> containing(const std::string& term) { return found(findContaining(store, term, 2)); }

    IndexStore store;
    uint32_t root = store.addRoot("/r");
    uint32_t report = add(root, "Réport.txt", EntryType::file, 500);
    uint32_t docs = add(root, "docs", EntryType::dir);
    uint32_t pdf = add(docs, "RÉPORT.pdf", EntryType::file, 1000);
    uint32_t cjk = add(docs, "报告.doc");
    uint32_t sub = add(docs, "sub", EntryType::dir);
    uint32_t apostrophe = add(sub, "i'm here");
    uint32_t notes = add(root, "notes.md", EntryType::file, 999);
    uint32_t link = add(root, "bad\xFFlink", EntryType::symlink, 7);
};

TEST_F(StoreTest, PathsNamesAndLookups) {
    EXPECT_EQ(store.rawName(pdf), "RÉPORT.pdf");
    EXPECT_EQ(store.foldedName(pdf), "report.pdf");
    EXPECT_EQ(store.rawName(notes), "notes.md");  // stored once: already folded
    EXPECT_EQ(store.findChild(docs, "RÉPORT.pdf"), pdf);
    EXPECT_EQ(store.findChild(docs, "report.pdf"), kNoEntry);  // lookups are exact
    EXPECT_EQ(store.findChild(root, "sub"), kNoEntry);
    IndexStore slash;
    uint32_t etc = slash.addChild(slash.addRoot("/"), "etc", "etc", EntryType::dir, 0, kNoTime);
    uint32_t hosts = slash.addChild(etc, "hosts", "hosts", EntryType::file, 0, kNoTime);
    EXPECT_EQ(slash.path(hosts), "/etc/hosts");
    // Paths back to entries, as changes reported by path are placed.
    const std::tuple<const IndexStore*, const char*, uint32_t, bool> cases[] = {
        {&store, "/r/docs/sub/i'm here", apostrophe, true},
        {&store, "/r", root, true},
        {&store, "/r/docs/", docs, true},
        {&store, "/r/docs/missing", kNoEntry, true},
        {&store, "/rest/docs", kNoEntry, false},
        {&store, "/elsewhere", kNoEntry, false},
        {&slash, "/etc/hosts", hosts, true},
        {&slash, "/", slash.roots()[0], true},
    };
    for (const auto& [in, path, entry, withinRoot] : cases) {
        bool within = !withinRoot;
        EXPECT_EQ(in->findPath(path, &within), entry) << path;
        EXPECT_EQ(within, withinRoot) << path;
    }
}

TEST_F(StoreTest, RequestsFindTheirEntries) {
    using Op = Request::Op;
    auto req = [](Op op, std::string value, FoldMode mode = {}, int64_t notBefore = kMin, int64_t before = kMax) {
        return Request{op, std::move(value), mode, notBefore, before, {}, false, {}, {}, 0};
    };
    const std::pair<Request, std::vector<std::string>> cases[] = {
        {req(Op::nameContains, "RÉPORT"), {"/r/Réport.txt", "/r/docs/RÉPORT.pdf"}},
        {req(Op::nameContains, "报告"), {"/r/docs/报告.doc"}},
        {req(Op::nameContains, "m h"), {"/r/docs/sub/i'm here"}},
        {req(Op::nameContains, ".PDF"), {"/r/docs/RÉPORT.pdf"}},
        {req(Op::nameContains, "r"),
         {"/r/Réport.txt", "/r/docs/RÉPORT.pdf", "/r/docs/sub/i'm here"}},  // never the root
        {req(Op::nameContains, "txt."), {}},                                // never spans two names
        {req(Op::nameGlob, "*report*", kBoth), {"/r/Réport.txt", "/r/docs/RÉPORT.pdf"}},
        {req(Op::nameGlob, "*Réport*", {false, false}), {"/r/Réport.txt"}},
        {req(Op::nameGlob, "*réport*", {true, false}), {"/r/Réport.txt", "/r/docs/RÉPORT.pdf"}},
        {req(Op::nameGlob, "*REPORT*", {false, true}), {"/r/docs/RÉPORT.pdf"}},
        {req(Op::nameGlob, "*", kBoth),
         {"/r/Réport.txt", "/r/bad\xFFlink", "/r/docs", "/r/docs/RÉPORT.pdf", "/r/docs/sub", "/r/docs/sub/i'm here",
          "/r/docs/报告.doc", "/r/notes.md"}},
        // Content times: from notBefore, up to but not including before.
        {req(Op::changedBetween, "", {}, 999), {"/r/docs/RÉPORT.pdf", "/r/notes.md"}},
        {req(Op::changedBetween, "", {}, 500, 999), {"/r/Réport.txt"}},
    };
    for (const auto& [request, expected] : cases)
        for (unsigned threads : {1u, 4u})
            EXPECT_EQ(found(findForRequest(store, request, threads)), expected) << request.value << request.notBefore;
}

TEST_F(StoreTest, RemovingASubtreeThenCompacting) {
    std::vector<uint32_t> folders;
    store.removeSubtree(docs, &folders);
    std::sort(folders.begin(), folders.end());
    EXPECT_EQ(folders, (std::vector<uint32_t>{docs, sub}));
    EXPECT_EQ(store.liveCount(), 4u);
    EXPECT_EQ(containing("report"), (std::vector<std::string>{"/r/Réport.txt"}));
    EXPECT_TRUE(found(findMatching(store, globTokensFromText("*here"), kBoth, 1)).empty());
    EXPECT_EQ(store.findChild(root, "docs"), kNoEntry);
    EXPECT_EQ(store.findChild(root, "notes.md"), notes);
    store.removeSubtree(docs);  // twice is harmless
    EXPECT_EQ(store.liveCount(), 4u);

    uint32_t extra = add(root, "Zeta.txt");
    std::vector<uint32_t> remap = store.compact();
    EXPECT_EQ(store.deadCount(), 0u);
    EXPECT_EQ(remap[apostrophe], kNoEntry);
    EXPECT_EQ(store.path(remap[extra]), "/r/Zeta.txt");
    EXPECT_EQ(store.findChild(remap[root], "notes.md"), remap[notes]);
    EXPECT_EQ(containing("t"), (std::vector<std::string>{"/r/Réport.txt", "/r/Zeta.txt", "/r/notes.md"}));
}

TEST(StoreScaleTest, ParallelScanAgreesWithSingleThread) {
    IndexStore s;
    std::vector<uint32_t> folders{s.addRoot("/big")};
#ifdef QF_SANITIZED
    constexpr int kEntries = 150000;  // still past every term below
#else
    constexpr int kEntries = 300000;
#endif
    for (int i = 0; i < kEntries; ++i) {
        std::string name = (i % 7 == 0 ? "Файл-" : "file-") + std::to_string(i) + (i % 3 ? ".txt" : ".PDF");
        EntryType t = i % 50 == 0 ? EntryType::dir : EntryType::file;
        uint32_t id = s.addChild(folders[i % folders.size()], name, foldName(name), t, i, kNoTime);
        if (t == EntryType::dir) folders.push_back(id);
    }
    for (const char* term : {"файл-1", "99", ".pdf", "-123456.", "le-2999"}) {
        auto one = findContaining(s, foldName(term), 1);
        EXPECT_EQ(one, findContaining(s, foldName(term), 8)) << term;
        EXPECT_FALSE(one.empty()) << term;
        // The trigram filter skips blocks; it must never skip a match.
        std::vector<uint32_t> everyName;
        for (uint32_t i = 1; i < s.size(); ++i)
            if (s.foldedName(i).find(foldName(term)) != std::string_view::npos) everyName.push_back(i);
        EXPECT_EQ(one, everyName) << term;
    }
    EXPECT_EQ(findContaining(s, "-", 8).size(), static_cast<size_t>(kEntries));
    EXPECT_EQ(findMatching(s, globTokensFromText("file-1?.txt"), kBoth, 8).size(), 6u);
}

// The tables move by remapping, never by copying: their items must come
// through growth, trimming and growing again, and copies stand alone.
TEST(MappedArrayTest, ItemsSurviveGrowthTrimAndCopies) {
    MappedArray<uint32_t> table;
    for (uint32_t i = 0; i < 300100; ++i) table.push_back(i * 7);
    table.resize(300000);  // what was cut stays in the last page
    table.shrink_to_fit();
    EXPECT_LT(table.capacity() - table.size(), 4096u);
    table.resize(table.size() + 5000);  // past the trimmed pages: new items are zero
    MappedArray<uint32_t> copy = table;
    copy[1] = 1;
    bool intact = true;
    for (uint32_t i = 0; i < 300000; ++i) intact = intact && table[i] == i * 7;
    EXPECT_TRUE(intact);
    EXPECT_EQ(std::count(table.begin() + 300000, table.end(), 0u), 5000);
    EXPECT_EQ(table[1], 7u);
    EXPECT_EQ(copy.size(), table.size());
    table.clear();
    table.shrink_to_fit();
    EXPECT_EQ(table.capacity(), 0u);
    EXPECT_EQ(copy[2], 14u);
}

// What an entry keeps of a file's times: the second, for date searches, and
// enough of the rest that catch-up sees a file written again within it.
TEST(FileTimesTest, SecondsAndChanges) {
    constexpr int64_t kS = 1'000'000'000;
    const int64_t t = 1'700'000'000 * kS + 123'456'789;
    const std::tuple<const char*, int64_t, int64_t> seconds[] = {
        {"a recent time", t, 1'700'000'000},  {"the epoch", 0, 0},
        {"just before it", -1, -1},           {"a second before it", -kS, -1},
        {"the latest time", kMax, kMax / kS}, {"the earliest time", kMin + 1, kMin / kS - 1},
    };
    for (const auto& [what, mtime, expected] : seconds) {
        const FileTimes times(mtime, kNoTime);
        EXPECT_TRUE(times.known()) << what;
        EXPECT_EQ(times.seconds(), expected) << what;
        EXPECT_EQ(FileTimes::fromBits(times.bits()), times) << what;
    }
    EXPECT_FALSE(FileTimes(kNoTime, t).known());
    EXPECT_EQ(FileTimes(kNoTime, t).seconds(), kNoTime);
    EXPECT_FALSE(FileTimes().known());

    const std::tuple<const char*, FileTimes, bool> sameAsT[] = {
        {"the same times", FileTimes(t, t - kS), true},
        {"written again within the second", FileTimes(t + 1, t - kS), false},
        {"a second later", FileTimes(t + kS, t - kS), false},
        {"replaced: another birth", FileTimes(t, t - kS + 1), false},
        {"birth no longer known", FileTimes(t, kNoTime), false},
        {"no time at all", FileTimes(kNoTime, t - kS), false},
    };
    for (const auto& [what, other, same] : sameAsT) EXPECT_EQ(FileTimes(t, t - kS) == other, same) << what;
}

// The vector scan against the plain search, with needles at every offset
// around the 16- and 32-byte blocks and near-misses on the first and last
// byte, and needles as long as the text.
TEST(ByteSearchTest, AgreesWithPlainFindAtEveryOffset) {
    std::mt19937 random(5);
    for (size_t length : {1u, 2u, 3u, 17u, 33u}) {
        for (size_t at = 0; at < 100; ++at) {
            std::string hay(140, 'a');
            for (char& c : hay) c = "abxy"[random() % 4];
            std::string needle(length, 'z');
            for (char& c : needle) c = "abz"[random() % 3];
            needle.front() = 'z';
            if (at % 3 != 0) hay.replace(at, std::min(length, hay.size() - at), needle.substr(0, hay.size() - at));
            const std::string_view h(hay);
            for (size_t from : {size_t{0}, at / 2}) {
                const char* hit = findBytes(hay.data() + from, hay.data() + hay.size(), needle);
                const size_t expected = h.find(needle, from);
                EXPECT_EQ(hit ? static_cast<size_t>(hit - hay.data()) : std::string_view::npos, expected)
                    << "length " << length << " at " << at << " from " << from;
            }
        }
    }
    for (const std::string& text : {std::string("z"), std::string("report.txt"), std::string(40, 'q')})
        EXPECT_EQ(findBytes(text.data(), text.data() + text.size(), text), text.data()) << text;
}

// ---- snapshots ----

// Every live entry as "path|times|type|flags", sorted.
std::vector<std::string> describe(const IndexStore& s) {
    std::vector<std::string> out;
    for (uint32_t i = 0; i < s.size(); ++i) {
        const Entry& e = s.at(i);
        if (e.alive())
            out.push_back(s.path(i) + "|" + std::to_string(e.times.bits()) + "|" +
                          std::to_string(static_cast<int>(e.type)) + "|" + std::to_string(e.flags));
    }
    return testing::sorted(out);
}

TEST_F(StoreTest, SnapshotRoundTripFollowsNoLinksAndStaleTemporariesGo) {
    TempDir dir;
    const std::string snapshot = dir / "s", victim = dir / "victim";
    qf::test::writeFile(victim, "keep");
    // A link planted where this process writes its temporary file.
    std::filesystem::create_symlink(victim, snapshot + ".tmp." + std::to_string(::getpid()));
    store.at(docs).flags |= Entry::kListed;
    store.removeSubtree(sub);  // dead entries are not saved
    auto written = writeSnapshot(store, snapshot);
    ASSERT_TRUE(written) << written.error().message();
    EXPECT_EQ(qf::test::readFile(victim), "keep");
    IndexStore loaded;
    auto read = loadSnapshot(snapshot, loaded);
    ASSERT_TRUE(read) << read.error().message();
    ASSERT_EQ(*read, SnapshotLoad::loaded);
    EXPECT_EQ(describe(loaded), describe(store));
    EXPECT_EQ(loaded.deadCount(), 0u);
    EXPECT_EQ(paths(loaded, findContaining(loaded, "report", 1)),
              (std::vector<std::string>{"/r/Réport.txt", "/r/docs/RÉPORT.pdf"}));
    EXPECT_NE(loaded.findPath("/r/docs/RÉPORT.pdf"), kNoEntry);
    EXPECT_EQ(loadSnapshot(dir / "none", loaded).valueOr(SnapshotLoad::loaded), SnapshotLoad::missing);

    for (const char* stale : {"s.tmp.1", "s.tmp.99999"}) qf::test::writeFile(dir / stale, "partial");
    std::filesystem::create_symlink(victim, dir / "s.tmp.link");
    std::filesystem::create_directory(dir / "s.tmp.folder");
    qf::test::writeFile(dir / "s.tmpnot", "other");
    EXPECT_EQ(removeStaleSnapshotTemps(snapshot), 3);
    std::set<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) left.insert(e.path().filename());
    EXPECT_EQ(left, (std::set<std::string>{"s", "s.tmp.folder", "s.tmpnot", "victim"}));
    EXPECT_EQ(qf::test::readFile(victim), "keep");
}

// Every kind of damage is refused and leaves the target store untouched;
// what must not be read is refused from its header or its type: a huge
// file is not read whole, a link is not followed.
TEST_F(StoreTest, SnapshotDamageIsRefused) {
    TempDir dir;
    ASSERT_TRUE(writeSnapshot(store, dir / "good"));
    const std::string good = qf::test::readFile(dir / "good");
    ASSERT_GT(good.size(), 100u);
    auto flipped = [&](size_t at, char bits) {
        std::string s = good;
        s[at] ^= bits;
        return s;
    };
    auto file = [&](const std::string& name, const std::string& bytes, off_t size = 0) {
        qf::test::writeFile(dir / name, bytes);
        if (size) std::filesystem::resize_file(dir / name, size);
        return dir / name;
    };
    // Another version, written whole with a sound checksum.
    auto ofVersion = [&](uint32_t version) {
        std::string s = good;
        std::memcpy(&s[8], &version, sizeof version);
        std::fill(s.begin() + 40, s.begin() + 48, '\0');
        Checksum sum;
        sum.update(s.data(), s.size());
        const uint64_t digest = sum.digest();
        std::memcpy(&s[40], &digest, sizeof digest);
        return s;
    };
    uint32_t current;
    std::memcpy(&current, &good[8], sizeof current);
    const std::string older = std::to_string(current - 1), newer = std::to_string(current + 1);
    constexpr off_t kHuge = off_t{4} << 30;
    std::filesystem::create_symlink(dir / "good", dir / "link");
    const std::tuple<const char*, std::string, std::string> damages[] = {
        {"short header", file("short", good.substr(0, 20)), "truncated header"},
        {"truncated body", file("truncated", good.substr(0, good.size() - 1)), "truncated"},
        {"extra byte", file("extra", good + "x"), "oversized"},
        {"flipped body byte", file("body", flipped(good.size() - 3, 0x20)), "checksum"},
        {"flipped entry count", file("count", flipped(16, 0x01)), ""},
        {"older version", file("older", ofVersion(current - 1)), "version " + older + " is not supported"},
        {"newer version", file("newer", ofVersion(current + 1)), "version " + newer + " is not supported"},
        {"not a snapshot", file("magic", flipped(0, 'X' ^ good[0])), "not a snapshot"},
        {"huge zeros", file("zeros", "", kHuge), "not a snapshot"},
        {"huge body", file("big-body", good.substr(0, 48), kHuge), "oversized"},
        {"link", dir / "link", "symbolic link"},
    };
    for (const auto& [what, path, reason] : damages) {
        IndexStore target;
        target.addRoot("/keep");
        auto read = loadSnapshot(path, target);
        ASSERT_FALSE(read) << what;
        EXPECT_TRUE(read.error() == Errc::badData) << what << ": " << read.error().message();
        EXPECT_NE(read.error().message().find(reason), std::string::npos) << what << ": " << read.error().message();
        ASSERT_EQ(target.size(), 1u) << what;
        EXPECT_EQ(target.path(target.roots().at(0)), "/keep") << what;
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss, 1024 * 1024) << "peak KiB: the huge files were read";
}

TEST(StoreAssignTest, RejectsInconsistentEntries) {
    // Roots named "", files named with one byte.
    auto entry = [](uint32_t parent, EntryType t, uint32_t foldOff, uint16_t length) {
        return Entry{.parent = parent, .foldOff = foldOff, .rawLen = length, .type = t};
    };
    const Entry root = entry(kNoEntry, EntryType::root, 0, 0);
    const auto file = [&](uint32_t parent, uint32_t foldOff, uint16_t length = 1) {
        return entry(parent, EntryType::file, foldOff, length);
    };
    struct Case {
        const char* what;
        std::vector<Entry> entries;
        std::string_view folded;
        bool valid;
    };
    using namespace std::string_view_literals;
    const Case cases[] = {
        {"consistent", {root, file(0, 1), file(0, 3)}, "\0a\0b\0"sv, true},
        {"child first", {file(1, 0), entry(kNoEntry, EntryType::root, 2, 0)}, "a\0\0"sv, false},
        {"child of a file", {root, file(0, 1), file(1, 3)}, "\0a\0b\0"sv, false},
        {"root with a parent", {entry(0, EntryType::root, 0, 0)}, "\0"sv, false},
        {"name past the names", {root, file(0, 5)}, "\0a\0"sv, false},
        {"last name without its NUL", {root, file(0, 1)}, "\0ab"sv, false},
        {"a name not ended before the next", {root, file(0, 1), file(0, 2)}, "\0ab\0c\0"sv, false},
        {"a NUL inside the last name", {root, file(0, 1, 2)}, "\0a\0b"sv, false},
        {"two names at one place", {root, file(0, 1), file(0, 1)}, "\0a\0"sv, false},
        {"first name not at the start", {entry(kNoEntry, EntryType::root, 1, 0)}, "\0\0"sv, false},
        {"a name's length not its own", {root, file(0, 1, 2)}, "\0a\0"sv, false},
    };
    for (const Case& c : cases) {
        IndexStore s;
        EntryTable entries(c.entries.data(), c.entries.size());
        EXPECT_EQ(s.assign(std::move(entries), Arena(c.folded), ""), c.valid) << c.what;
        EXPECT_EQ(s.size(), c.valid ? c.entries.size() : 0u) << c.what;
    }
}

}  // namespace
}  // namespace qf::index
