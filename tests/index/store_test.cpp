#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <random>
#include <set>

#include "byte_search.h"
#include "index_store.h"
#include "index_test_support.h"
#include "search.h"
#include "snapshot.h"

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
        return Request{op, std::move(value), mode, notBefore, before, {}};
    };
    const std::pair<Request, std::vector<std::string>> cases[] = {
        {req(Op::nameContains, "RÉPORT"), {"/r/Réport.txt", "/r/docs/RÉPORT.pdf"}},
        {req(Op::nameContains, "报告"), {"/r/docs/报告.doc"}},
        {req(Op::nameContains, "m h"), {"/r/docs/sub/i'm here"}},
        {req(Op::nameContains, ".PDF"), {"/r/docs/RÉPORT.pdf"}},
        {req(Op::nameContains, "r"),
         {"/r/Réport.txt", "/r/docs/RÉPORT.pdf", "/r/docs/sub/i'm here"}},  // never the root
        {req(Op::nameContains, "zzz"), {}},
        {req(Op::nameContains, "txt."), {}},  // never spans two names
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

// The vector scan against the plain search, with needles at every offset
// around the 16- and 32-byte blocks and near-misses on the first and last byte.
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
}

// ---- snapshots ----

// Every live entry as "path|mtime|birth|type|flags", sorted.
std::vector<std::string> describe(const IndexStore& s) {
    std::vector<std::string> out;
    for (uint32_t i = 0; i < s.size(); ++i) {
        const Entry& e = s.at(i);
        if (e.alive())
            out.push_back(s.path(i) + "|" + std::to_string(e.mtime) + "|" + std::to_string(e.birth) + "|" +
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
    std::string error;
    ASSERT_TRUE(writeSnapshot(store, snapshot, &error)) << error;
    EXPECT_EQ(qf::test::readFile(victim), "keep");
    IndexStore loaded;
    ASSERT_EQ(loadSnapshot(snapshot, loaded, &error), SnapshotLoad::loaded) << error;
    EXPECT_EQ(describe(loaded), describe(store));
    EXPECT_EQ(loaded.deadCount(), 0u);
    EXPECT_EQ(paths(loaded, findContaining(loaded, "report", 1)),
              (std::vector<std::string>{"/r/Réport.txt", "/r/docs/RÉPORT.pdf"}));
    const uint32_t loadedDocs = loaded.findChild(loaded.roots().at(0), "docs");
    ASSERT_NE(loadedDocs, kNoEntry);
    EXPECT_NE(loaded.findChild(loadedDocs, "RÉPORT.pdf"), kNoEntry);
    EXPECT_EQ(loadSnapshot(dir / "none", loaded, nullptr), SnapshotLoad::missing);

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
    ASSERT_TRUE(writeSnapshot(store, dir / "good", nullptr));
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
    constexpr off_t kHuge = off_t{4} << 30;
    std::filesystem::create_symlink(dir / "good", dir / "link");
    const std::tuple<const char*, std::string, const char*> damages[] = {
        {"empty", file("empty", ""), "truncated header"},
        {"short header", file("short", good.substr(0, 20)), "truncated header"},
        {"truncated body", file("truncated", good.substr(0, good.size() - 1)), "truncated"},
        {"extra byte", file("extra", good + "x"), "oversized"},
        {"flipped body byte", file("body", flipped(good.size() - 3, 0x20)), "checksum"},
        {"flipped entry count", file("count", flipped(16, 0x01)), ""},
        {"other version", file("version", flipped(8, 99 ^ good[8])), "version"},
        {"not a snapshot", file("magic", flipped(0, 'X' ^ good[0])), "not a snapshot"},
        {"huge zeros", file("zeros", "", kHuge), "not a snapshot"},
        {"huge body", file("big-body", good.substr(0, 48), kHuge), "oversized"},
        {"link", dir / "link", "symbolic link"},
    };
    for (const auto& [what, path, reason] : damages) {
        IndexStore target;
        target.addRoot("/keep");
        std::string error;
        EXPECT_EQ(loadSnapshot(path, target, &error), SnapshotLoad::corrupt) << what;
        EXPECT_NE(error.find(reason), std::string::npos) << what << ": " << error;
        ASSERT_EQ(target.size(), 1u) << what;
        EXPECT_EQ(target.path(target.roots().at(0)), "/keep") << what;
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss, 1024 * 1024) << "peak KiB: the huge files were read";
}

TEST(StoreAssignTest, RejectsInconsistentEntries) {
    auto entry = [](uint32_t parent, EntryType t, uint16_t len) {
        return Entry{.parent = parent, .foldLen = len, .type = t};
    };
    const Entry root = entry(kNoEntry, EntryType::root, 0);
    IndexStore s;
    EXPECT_FALSE(s.assign({entry(1, EntryType::file, 1), root}, Arena("a\0\0", 3), "/r"));     // child first
    EXPECT_FALSE(s.assign({root, entry(0, EntryType::file, 1), entry(1, EntryType::file, 1)},  // child of a file
                          Arena("\0a\0b\0", 5), ""));
    EXPECT_FALSE(s.assign({root, entry(0, EntryType::file, 5)}, Arena("\0a\0", 3), ""));  // bad lengths
    EXPECT_FALSE(s.assign({entry(0, EntryType::root, 0)}, Arena("\0", 1), ""));           // root with a parent
    EXPECT_EQ(s.size(), 0u);
}

}  // namespace
}  // namespace qf::index
