#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "fold.h"
#include "index_test_support.h"
#include "search.h"
#include "snapshot.h"

namespace qf::index {
namespace {

using testing::TempDir;

IndexStore sampleStore() {
  IndexStore s;
  uint32_t r = s.addRoot("/data");
  auto add = [&](uint32_t p, const std::string& n, EntryType t, int64_t m) {
    return s.addChild(p, n, foldName(n), t, m, m - 10);
  };
  uint32_t d = add(r, "Docs", EntryType::Dir, 50);
  s.at(d).flags |= Entry::kListed;
  add(d, "Réport.pdf", EntryType::File, 100);
  uint32_t gone = add(d, "gone.txt", EntryType::File, 7);
  add(r, "报告", EntryType::Symlink, 200);
  add(r, std::string("bad\xFF") + "name", EntryType::Other, 300);
  s.removeSubtree(gone);  // dead entries are not saved
  return s;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

TEST(SnapshotTest, RoundTripKeepsEntriesNamesAndTimes) {
  TempDir dir;
  IndexStore original = sampleStore();
  std::string error;
  ASSERT_TRUE(writeSnapshot(original, dir / "s", &error)) << error;
  IndexStore loaded;
  ASSERT_EQ(loadSnapshot(dir / "s", loaded, &error), SnapshotLoad::Loaded) << error;
  EXPECT_EQ(loaded.liveCount(), original.liveCount());
  EXPECT_EQ(loaded.deadCount(), 0u);
  ASSERT_EQ(loaded.roots().size(), 1u);
  EXPECT_EQ(loaded.path(loaded.roots()[0]), "/data");
  std::vector<std::string> a, b;
  for (uint32_t i = 0; i < original.size(); ++i)
    if (original.at(i).alive())
      a.push_back(original.path(i) + "|" + std::to_string(original.at(i).mtime) + "|" +
                  std::to_string(original.at(i).btime) + "|" +
                  std::to_string(static_cast<int>(original.at(i).type)) + "|" +
                  std::to_string(original.at(i).flags));
  for (uint32_t i = 0; i < loaded.size(); ++i)
    b.push_back(loaded.path(i) + "|" + std::to_string(loaded.at(i).mtime) + "|" +
                std::to_string(loaded.at(i).btime) + "|" +
                std::to_string(static_cast<int>(loaded.at(i).type)) + "|" +
                std::to_string(loaded.at(i).flags));
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  EXPECT_EQ(a, b);
  // The loaded index answers queries and knows its tree.
  auto hits = findContaining(loaded, "report", 1);
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(loaded.path(hits[0]), "/data/Docs/Réport.pdf");
  uint32_t docs = loaded.findChild(loaded.roots()[0], "Docs");
  ASSERT_NE(docs, kNoEntry);
  EXPECT_NE(loaded.findChild(docs, "Réport.pdf"), kNoEntry);
  EXPECT_EQ(loaded.findChild(docs, "gone.txt"), kNoEntry);
}

TEST(SnapshotTest, MissingFileIsNotAnError) {
  TempDir dir;
  IndexStore s;
  EXPECT_EQ(loadSnapshot(dir / "none", s, nullptr), SnapshotLoad::Missing);
}

TEST(SnapshotTest, WriteLeavesNoTemporaryFilesAndReplacesTheOld) {
  TempDir dir;
  IndexStore s = sampleStore();
  ASSERT_TRUE(writeSnapshot(s, dir / "s", nullptr));
  s.addChild(s.roots()[0], "later", "later", EntryType::File, 1, 1);
  ASSERT_TRUE(writeSnapshot(s, dir / "s", nullptr));
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) {
    (void)e;
    ++files;
  }
  EXPECT_EQ(files, 1);
  IndexStore loaded;
  ASSERT_EQ(loadSnapshot(dir / "s", loaded, nullptr), SnapshotLoad::Loaded);
  EXPECT_EQ(findContaining(loaded, "later", 1).size(), 1u);
}

TEST(SnapshotTest, UnwritableFolderFailsWithReason) {
  std::string error;
  EXPECT_FALSE(writeSnapshot(sampleStore(), "/nonexistent-folder/x/s", &error));
  EXPECT_NE(error.find("cannot create"), std::string::npos);
}

// Every kind of damage is detected and leaves the target store untouched.
TEST(SnapshotTest, DamageIsDetected) {
  TempDir dir;
  ASSERT_TRUE(writeSnapshot(sampleStore(), dir / "good", nullptr));
  const std::string good = readFile(dir / "good");
  ASSERT_GT(good.size(), 100u);
  struct Damage {
    const char* what;
    std::string bytes;
    const char* reason;
  };
  std::string flippedBody = good;
  flippedBody[good.size() - 3] ^= 0x20;
  std::string flippedHeader = good;
  flippedHeader[16] ^= 0x01;  // entry count
  std::string badVersion = good;
  badVersion[8] = 99;
  std::string badMagic = good;
  badMagic[0] = 'X';
  const Damage damages[] = {
      {"empty", "", "truncated header"},
      {"short header", good.substr(0, 20), "truncated header"},
      {"truncated body", good.substr(0, good.size() - 1), "truncated"},
      {"extra byte", good + "x", "oversized"},
      {"flipped body byte", flippedBody, "checksum"},
      {"flipped header byte", flippedHeader, ""},
      {"other version", badVersion, "version"},
      {"not a snapshot", badMagic, "not a snapshot"},
  };
  for (const Damage& d : damages) {
    writeFile(dir / "bad", d.bytes);
    IndexStore target;
    target.addRoot("/keep");
    std::string error;
    EXPECT_EQ(loadSnapshot(dir / "bad", target, &error), SnapshotLoad::Corrupt) << d.what;
    EXPECT_NE(error.find(d.reason), std::string::npos) << d.what << ": " << error;
    ASSERT_EQ(target.roots().size(), 1u) << d.what;
    EXPECT_EQ(target.path(target.roots()[0]), "/keep") << d.what;
  }
}

TEST(StoreAssignTest, RejectsInconsistentEntries) {
  auto entry = [](uint32_t parent, EntryType t, uint16_t len) {
    Entry e;
    e.parent = parent;
    e.type = t;
    e.foldLen = len;
    return e;
  };
  IndexStore s;
  // A child before its parent.
  EXPECT_FALSE(s.assign({entry(1, EntryType::File, 1), entry(kNoEntry, EntryType::Root, 0)},
                        std::string("a\0\0", 3), "/r"));
  // A child of a file.
  EXPECT_FALSE(s.assign({entry(kNoEntry, EntryType::Root, 0), entry(0, EntryType::File, 1),
                         entry(1, EntryType::File, 1)},
                        std::string("\0a\0b\0", 5), ""));
  // Name lengths that disagree with the arena.
  EXPECT_FALSE(s.assign({entry(kNoEntry, EntryType::Root, 0), entry(0, EntryType::File, 5)},
                        std::string("\0a\0", 3), ""));
  // A root with a parent.
  EXPECT_FALSE(s.assign({entry(0, EntryType::Root, 0)}, std::string("\0", 1), ""));
  EXPECT_EQ(s.size(), 0u);
}

}  // namespace
}  // namespace qf::index
