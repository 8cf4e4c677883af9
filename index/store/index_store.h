#pragma once
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "index/store/arena.h"
#include "index/store/file_times.h"
#include "index/store/mapped_array.h"
#include "index/store/name_filter.h"

namespace qf::index {

enum class EntryType : uint8_t { file = 0, dir = 1, symlink = 2, other = 3, root = 4, dead = 5 };

inline constexpr uint32_t kNoEntry = std::numeric_limits<uint32_t>::max();
// One file-system item, in 32 bytes. Children of a folder form a singly
// linked list so that no folder needs an allocation of its own. A folded
// name ends where the next entry's begins, so its length is not kept.
struct __attribute__((packed)) Entry {
    uint32_t parent = kNoEntry;
    uint32_t firstChild = kNoEntry;
    uint32_t nextSibling = kNoEntry;
    uint32_t foldOff = 0;
    uint32_t rawOff = kNoEntry;  // kNoEntry: the name is its folded form
    uint16_t rawLen = 0;
    EntryType type = EntryType::file;
    uint8_t flags = 0;
    FileTimes times{};

    static constexpr uint8_t kListed = 1;  // a folder whose children were read
    static constexpr uint8_t kPruned = 2;  // a folder the crawl does not enter
    // A folder whose children's ids ascend with their names' bytes, so that
    // answers list them in name order as they come. Any later child clears it.
    static constexpr uint8_t kChildrenInOrder = 4;
    bool isFolder() const { return type == EntryType::dir || type == EntryType::root; }
    bool alive() const { return type != EntryType::dead; }
};
static_assert(sizeof(Entry) == 32);

using EntryTable = MappedArray<Entry>;

// Every indexed item with its name twice: as on disk, and folded (case and
// diacritics) in one contiguous arena of NUL-ended names that searches scan.
// Names appear in the arena in entry order, so an arena offset maps back to
// its entry by binary search. Not thread-safe: the owner locks.
class IndexStore {
public:
    // A root's name is its whole absolute path; it never matches a query.
    uint32_t addRoot(std::string_view path);
    uint32_t addChild(uint32_t parent, std::string_view raw, std::string_view folded, EntryType type, int64_t mtime,
                      int64_t btime);
    // Marks the entry and everything below it dead and unlinks it. Folders
    // removed are appended to `removedFolders` when given.
    void removeSubtree(uint32_t index, std::vector<uint32_t>* removedFolders = nullptr);
    uint32_t findChild(uint32_t folder, std::string_view raw) const;
    // The entry at an absolute path below (or at) a root; kNoEntry when not
    // indexed. `withinRoot` tells whether the path lies inside a root at all.
    uint32_t findPath(std::string_view path, bool* withinRoot = nullptr) const;

    std::string path(uint32_t index) const;
    void appendPath(uint32_t index, std::string& out) const;
    std::string_view rawName(uint32_t index) const;
    std::string_view foldedName(uint32_t index) const;
    // Arena offset just past the folded name's NUL: where the next one begins.
    uint32_t foldedEnd(uint32_t index) const {
        return index + 1 < entries_.size() ? entries_[index + 1].foldOff : static_cast<uint32_t>(folded_.size());
    }
    // Hints for loops that visit entries out of table order, where each
    // entry and each name would otherwise be a cache miss of its own: the
    // entry a few steps ahead, its name once the entry has arrived.
    void prefetchEntry(uint32_t index) const { __builtin_prefetch(&entries_[index]); }
    void prefetchRawName(uint32_t index) const {
        const Entry& e = entries_[index];
        __builtin_prefetch(e.rawOff == kNoEntry ? folded_.data() + e.foldOff : raw_.data() + e.rawOff);
    }

    const Entry& at(uint32_t index) const { return entries_[index]; }
    Entry& at(uint32_t index) { return entries_[index]; }
    size_t size() const { return entries_.size(); }
    size_t liveCount() const { return live_; }
    size_t deadCount() const { return entries_.size() - live_; }
    const std::vector<uint32_t>& roots() const { return roots_; }
    const EntryTable& entries() const { return entries_; }
    const Arena& foldedArena() const { return folded_; }
    const Arena& rawArena() const { return raw_; }
    const NameFilter& nameFilter() const { return filter_; }
    // Entry whose folded name holds arena byte `offset`.
    uint32_t entryAtOffset(uint32_t offset, uint32_t lo, uint32_t hi) const;
    size_t memoryBytes() const;
    // Gives back the room kept for growth; for when a crawl has ended.
    void trimCapacity();

    // Drops dead entries and their names; returns old index -> new index
    // (kNoEntry for dropped ones).
    std::vector<uint32_t> compact();

    // Rebuilds an index from its serialised parts (entries in parent-first
    // order with their folded names' offsets, names concatenated NUL-ended).
    // Returns false when inconsistent.
    bool assign(EntryTable entries, Arena folded, Arena raw);

private:
    uint32_t append(uint32_t parent, std::string_view raw, std::string_view folded, EntryType type, int64_t mtime,
                    int64_t btime);
    void unlinkFromParent(uint32_t index);
    // Clears kChildrenInOrder wherever the children are not in order.
    void checkChildOrder();
    void rebuildFilter();

    EntryTable entries_;
    Arena folded_;
    Arena raw_;
    std::vector<uint32_t> roots_;
    NameFilter filter_;
    size_t live_ = 0;
};

}  // namespace qf::index
