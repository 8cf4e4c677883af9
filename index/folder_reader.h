#pragma once
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "index_store.h"

namespace qf::index {

// What the index keeps of one item, read without following symlinks.
inline int64_t nanoseconds(int64_t sec, int64_t nsec) { return sec * 1000000000 + nsec; }

struct ItemFacts {
  EntryType type = EntryType::Other;
  int64_t mtime = kNoTime;
  int64_t btime = kNoTime;
  dev_t device = 0;
};

struct ListedItem {
  std::string name;
  std::string folded;
  ItemFacts facts;
};

// Facts of `name` in the folder open as `dirFd` (AT_FDCWD for a path).
std::optional<ItemFacts> factsAt(int dirFd, const char* name);

// Every item of an open folder with its folded name, read with getdents64.
// With `withTimes` each item's facts are read too (one statx each); without,
// items carry the type the listing gives and no times, and only items of
// unknown type are examined. Items that vanish while being read are left
// out; items whose facts cannot be read keep the listing's type.
std::vector<ListedItem> readFolder(int dirFd, bool withTimes = true);

}  // namespace qf::index
