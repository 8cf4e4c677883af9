#pragma once
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/expected.h"
#include "index/store/index_store.h"

namespace qf::index {

// What the index keeps of one item, read without following symlinks.
inline int64_t nanoseconds(int64_t sec, int64_t nsec) { return sec * 1000000000 + nsec; }

struct ItemFacts {
    EntryType type = EntryType::other;
    int64_t mtime = kNoTime;
    int64_t btime = kNoTime;
    dev_t device = 0;
};

struct ListedItem {
    std::string name;
    std::string folded;
    ItemFacts facts;
};

// Facts of `name` in the folder open as `dirFd` (AT_FDCWD for a path; an
// empty name for the folder itself), never following a link or automount.
std::optional<ItemFacts> factsAt(int dirFd, const char* name);

// factsAt() for an absolute path of any length.
std::optional<ItemFacts> factsOfPath(std::string_view path);

// The name under which the open folder `dirFd` holds inode `inode`, when it
// holds it.
std::optional<std::string> nameOfInode(int dirFd, ino_t inode);

// Every item of an open folder with its folded name, read with getdents64.
// Items carry the type the listing gives and no times; only items of
// unknown type are examined. A listing cut short is a failure, never a
// shorter listing.
Expected<std::vector<ListedItem>> readFolder(int dirFd);

// Reads the facts of the listed items, except folders: their facts are read
// when they are opened. Items that vanished meanwhile are removed; items
// whose facts cannot be read keep the listing's type and no times, unless
// the reason may pass (out of memory, say): that fails the whole folder, to
// be read again.
Expected<void> readItemFacts(int dirFd, std::vector<ListedItem>& items);

// Whether a failed call's errno may pass by itself (out of descriptors or
// memory, interrupted).
bool isPassingErrno(int number);

}  // namespace qf::index
