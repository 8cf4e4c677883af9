#include <gtest/gtest.h>

#include <algorithm>

#include "fold.h"
#include "index_store.h"
#include "search.h"

namespace qf::index {
namespace {

// A small tree: /r/{Réport.txt, docs/{RÉPORT.pdf, 报告.doc, sub/{i'm here}}, notes.md}
class StoreTest : public ::testing::Test {
 protected:
  uint32_t add(uint32_t parent, const std::string& name, EntryType type = EntryType::File,
               int64_t mtime = 100) {
    return store.addChild(parent, name, foldName(name), type, mtime * 1'000'000'000, kNoTime);
  }
  void SetUp() override {
    root = store.addRoot("/r");
    report = add(root, "Réport.txt", EntryType::File, 500);
    docs = add(root, "docs", EntryType::Dir);
    pdf = add(docs, "RÉPORT.pdf", EntryType::File, 1000);
    cjk = add(docs, "报告.doc");
    sub = add(docs, "sub", EntryType::Dir);
    apostrophe = add(sub, "i'm here");
    notes = add(root, "notes.md", EntryType::File, 999);
  }
  std::vector<std::string> paths(const std::vector<uint32_t>& ids) {
    std::vector<std::string> out;
    for (uint32_t i : ids) out.push_back(store.path(i));
    std::sort(out.begin(), out.end());
    return out;
  }

  IndexStore store;
  uint32_t root, report, docs, pdf, cjk, sub, apostrophe, notes;
};

TEST_F(StoreTest, PathsAndNames) {
  EXPECT_EQ(store.path(apostrophe), "/r/docs/sub/i'm here");
  EXPECT_EQ(store.rawName(pdf), "RÉPORT.pdf");
  EXPECT_EQ(store.foldedName(pdf), "report.pdf");
  EXPECT_EQ(store.rawName(notes), "notes.md");  // stored once: already folded
  EXPECT_EQ(store.at(notes).rawOff, kNoEntry);
  EXPECT_EQ(store.path(root), "/r");
  EXPECT_EQ(store.liveCount(), 8u);
}

TEST_F(StoreTest, RootSlashJoinsWithoutDoubleSlash) {
  IndexStore s;
  uint32_t r = s.addRoot("/");
  uint32_t etc = s.addChild(r, "etc", "etc", EntryType::Dir, 0, kNoTime);
  uint32_t f = s.addChild(etc, "hosts", "hosts", EntryType::File, 0, kNoTime);
  EXPECT_EQ(s.path(f), "/etc/hosts");
}

TEST_F(StoreTest, FindChildByRawName) {
  EXPECT_EQ(store.findChild(docs, "RÉPORT.pdf"), pdf);
  EXPECT_EQ(store.findChild(docs, "report.pdf"), kNoEntry);  // lookups are exact
  EXPECT_EQ(store.findChild(root, "sub"), kNoEntry);
}

struct ContainsCase {
  const char* term;
  std::vector<std::string> expected;
};

TEST_F(StoreTest, ContainsIgnoresCaseAndDiacritics) {
  const ContainsCase cases[] = {
      {"report", {"/r/Réport.txt", "/r/docs/RÉPORT.pdf"}},
      {"RÉPORT", {"/r/Réport.txt", "/r/docs/RÉPORT.pdf"}},
      {"Réport", {"/r/Réport.txt", "/r/docs/RÉPORT.pdf"}},
      {"报告", {"/r/docs/报告.doc"}},
      {"i'm", {"/r/docs/sub/i'm here"}},
      {"m h", {"/r/docs/sub/i'm here"}},
      {".PDF", {"/r/docs/RÉPORT.pdf"}},
      {"docs", {"/r/docs"}},
      {"r", {"/r/Réport.txt", "/r/docs/RÉPORT.pdf", "/r/docs/sub/i'm here"}},
      {"zzz", {}},
      {"txt.", {}},  // never spans two names
  };
  for (const ContainsCase& c : cases)
    for (unsigned threads : {1u, 4u})
      EXPECT_EQ(paths(findContaining(store, foldName(c.term), threads)), c.expected) << c.term;
}

TEST_F(StoreTest, GlobModesAreHonoured) {
  struct Case {
    const char* pattern;
    FoldMode mode;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"*report*", {true, true}, {"/r/Réport.txt", "/r/docs/RÉPORT.pdf"}},
      {"*report*", {false, false}, {}},
      {"*Réport*", {false, false}, {"/r/Réport.txt"}},
      {"*réport*", {true, false}, {"/r/Réport.txt", "/r/docs/RÉPORT.pdf"}},
      {"*REPORT*", {false, true}, {"/r/docs/RÉPORT.pdf"}},
      {"*.pdf", {true, true}, {"/r/docs/RÉPORT.pdf"}},
      {"??.doc", {true, true}, {"/r/docs/报告.doc"}},
      {"*", {true, true}, {"/r/Réport.txt", "/r/docs", "/r/docs/RÉPORT.pdf", "/r/docs/sub",
                            "/r/docs/sub/i'm here", "/r/docs/报告.doc", "/r/notes.md"}},
      {"*i'm*", {true, true}, {"/r/docs/sub/i'm here"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(paths(findMatching(store, globTokensFromText(c.pattern), c.mode, 2)), c.expected)
        << c.pattern;
}

TEST_F(StoreTest, ChangedBetweenUsesContentTimes) {
  EXPECT_EQ(paths(findChanged(store, 999, std::numeric_limits<int64_t>::max(), 2)),
            (std::vector<std::string>{"/r/docs/RÉPORT.pdf", "/r/notes.md"}));
  EXPECT_EQ(paths(findChanged(store, 500, 999, 2)), (std::vector<std::string>{"/r/Réport.txt"}));
}

TEST_F(StoreTest, RemovingASubtreeHidesEverythingBelow) {
  std::vector<uint32_t> folders;
  store.removeSubtree(docs, &folders);
  std::sort(folders.begin(), folders.end());
  EXPECT_EQ(folders, (std::vector<uint32_t>{docs, sub}));
  EXPECT_EQ(store.liveCount(), 3u);
  EXPECT_EQ(paths(findContaining(store, "report", 1)), (std::vector<std::string>{"/r/Réport.txt"}));
  EXPECT_TRUE(paths(findMatching(store, globTokensFromText("*here"), {true, true}, 1)).empty());
  EXPECT_EQ(store.findChild(root, "docs"), kNoEntry);
  EXPECT_EQ(store.findChild(root, "notes.md"), notes);
  store.removeSubtree(docs);  // twice is harmless
  EXPECT_EQ(store.liveCount(), 3u);
}

TEST_F(StoreTest, CompactionKeepsTheTreeAndItsAnswers) {
  store.removeSubtree(sub);
  uint32_t extra = add(docs, "Zeta.txt");
  std::vector<uint32_t> remap = store.compact();
  EXPECT_EQ(store.deadCount(), 0u);
  EXPECT_EQ(remap[apostrophe], kNoEntry);
  EXPECT_EQ(store.path(remap[extra]), "/r/docs/Zeta.txt");
  EXPECT_EQ(store.findChild(remap[docs], "RÉPORT.pdf"), remap[pdf]);
  EXPECT_EQ(paths(findContaining(store, "report", 2)),
            (std::vector<std::string>{"/r/Réport.txt", "/r/docs/RÉPORT.pdf"}));
  EXPECT_EQ(paths(findContaining(store, "zeta", 2)), (std::vector<std::string>{"/r/docs/Zeta.txt"}));
}

TEST(StoreScaleTest, ParallelScanAgreesWithSingleThread) {
  IndexStore s;
  uint32_t r = s.addRoot("/big");
  std::vector<uint32_t> folders{r};
  for (int i = 0; i < 300000; ++i) {
    std::string name = (i % 7 == 0 ? "Файл-" : "file-") + std::to_string(i) + (i % 3 ? ".txt" : ".PDF");
    EntryType t = i % 50 == 0 ? EntryType::Dir : EntryType::File;
    uint32_t id = s.addChild(folders[i % folders.size()], name, foldName(name), t, i, kNoTime);
    if (t == EntryType::Dir) folders.push_back(id);
  }
  for (const char* term : {"файл-1", "99", ".pdf", "-"}) {
    auto one = findContaining(s, foldName(term), 1);
    auto many = findContaining(s, foldName(term), 8);
    EXPECT_EQ(one, many) << term;
    EXPECT_FALSE(one.empty()) << term;
  }
  EXPECT_EQ(findContaining(s, "-", 8).size(), 300000u);
  EXPECT_EQ(findMatching(s, globTokensFromText("file-1?.txt"), {true, true}, 8).size(), 6u);
}

TEST(WithinTest, FolderBoundaries) {
  EXPECT_TRUE(isWithin("/a/b", "/a"));
  EXPECT_TRUE(isWithin("/a", "/a"));
  EXPECT_FALSE(isWithin("/ab", "/a"));
  EXPECT_TRUE(isWithin("/x", "/"));
  EXPECT_FALSE(isWithin("/a", "/a/b"));
}

}  // namespace
}  // namespace qf::index
