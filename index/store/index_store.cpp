#include "index/store/index_store.h"

#include <algorithm>
#include <cstring>

#include "base/path_names.h"

namespace qf::index {

namespace {

// The tables grow without copying, so they grow by a sixty-fourth: an index
// of millions of entries keeps little room unused, also after the first
// change since the crawl's trim.
template <typename Table>
void makeRoom(Table& table, size_t extra, size_t minimumStep) {
    if (table.size() + extra <= table.capacity()) return;
    table.reserve(table.size() + extra + std::max(minimumStep, table.size() / 64));
}

}  // namespace

uint32_t IndexStore::append(uint32_t parent, std::string_view raw, std::string_view folded, EntryType type,
                            int64_t mtime, int64_t btime) {
    Entry e;
    e.parent = parent;
    e.type = type;
    e.times = FileTimes(mtime, btime);
    e.foldOff = static_cast<uint32_t>(folded_.size());
    // No file name comes near this bound; a snapshot keeps lengths in 16 bits.
    folded = folded.substr(0, UINT16_MAX);
    makeRoom(folded_, folded.size() + 1, size_t{1} << 16);
    folded_.append(folded);
    folded_ += '\0';
    // rawLen is the name's length also where the raw name is the folded one.
    raw = raw.substr(0, UINT16_MAX);
    e.rawLen = static_cast<uint16_t>(raw.size());
    if (raw != folded) {
        e.rawOff = static_cast<uint32_t>(raw_.size());
        makeRoom(raw_, raw.size(), size_t{1} << 16);
        raw_.append(raw);
    }
    makeRoom(entries_, 1, size_t{1} << 12);
    filter_.add(static_cast<uint32_t>(entries_.size()), folded);
    entries_.push_back(e);
    ++live_;
    return static_cast<uint32_t>(entries_.size() - 1);
}

uint32_t IndexStore::addRoot(std::string_view path) {
    uint32_t i = append(kNoEntry, path, {}, EntryType::root, kNoTime, kNoTime);
    roots_.push_back(i);
    return i;
}

uint32_t IndexStore::addChild(uint32_t parent, std::string_view raw, std::string_view folded, EntryType type,
                              int64_t mtime, int64_t btime) {
    uint32_t i = append(parent, raw, folded, type, mtime, btime);
    Entry& p = entries_[parent];
    p.flags &= static_cast<uint8_t>(~Entry::kChildrenInOrder);
    entries_[i].nextSibling = p.firstChild;
    p.firstChild = i;
    return i;
}

void IndexStore::unlinkFromParent(uint32_t index) {
    uint32_t parent = entries_[index].parent;
    if (parent == kNoEntry) {
        std::erase(roots_, index);
        return;
    }
    // Entries are packed, so the links are changed by value, not through pointers.
    const uint32_t next = entries_[index].nextSibling;
    if (entries_[parent].firstChild == index) {
        entries_[parent].firstChild = next;
        return;
    }
    for (uint32_t c = entries_[parent].firstChild; c != kNoEntry; c = entries_[c].nextSibling) {
        if (entries_[c].nextSibling == index) {
            entries_[c].nextSibling = next;
            return;
        }
    }
}

void IndexStore::removeSubtree(uint32_t index, std::vector<uint32_t>* removedFolders) {
    if (index >= entries_.size() || !entries_[index].alive()) return;
    unlinkFromParent(index);
    std::vector<uint32_t> stack{index};
    while (!stack.empty()) {
        uint32_t i = stack.back();
        stack.pop_back();
        Entry& e = entries_[i];
        for (uint32_t c = e.firstChild; c != kNoEntry; c = entries_[c].nextSibling) stack.push_back(c);
        if (e.isFolder() && removedFolders) removedFolders->push_back(i);
        // Blank the folded name so scans no longer stop at it.
        std::memset(folded_.data() + e.foldOff, 0, foldedEnd(i) - 1 - e.foldOff);
        e.type = EntryType::dead;
        e.firstChild = e.nextSibling = kNoEntry;
        --live_;
    }
}

std::string_view IndexStore::rawName(uint32_t index) const {
    const Entry& e = entries_[index];
    return {e.rawOff == kNoEntry ? folded_.data() + e.foldOff : raw_.data() + e.rawOff, e.rawLen};
}

std::string_view IndexStore::foldedName(uint32_t index) const {
    const uint32_t off = entries_[index].foldOff;
    return {folded_.data() + off, foldedEnd(index) - 1 - off};
}

uint32_t IndexStore::findChild(uint32_t folder, std::string_view raw) const {
    for (uint32_t c = entries_[folder].firstChild; c != kNoEntry; c = entries_[c].nextSibling)
        if (rawName(c) == raw) return c;
    return kNoEntry;
}

uint32_t IndexStore::findPath(std::string_view path, bool* withinRoot) const {
    if (withinRoot) *withinRoot = false;
    // A disk mounted below a pruned folder is a root inside another root: the
    // innermost one holds the path.
    uint32_t best = kNoEntry;
    for (uint32_t root : roots_) {
        std::string_view top = rawName(root);
        if (isSameOrInside(path, top) && (best == kNoEntry || top.size() > rawName(best).size())) best = root;
    }
    if (best == kNoEntry) return kNoEntry;
    if (withinRoot) *withinRoot = true;
    std::string_view rest = path.substr(rawName(best).size());
    uint32_t at = best;
    while (at != kNoEntry && !rest.empty()) {
        size_t start = rest.find_first_not_of('/');
        if (start == std::string_view::npos) break;
        rest.remove_prefix(start);
        size_t end = std::min(rest.find('/'), rest.size());
        at = findChild(at, rest.substr(0, end));
        rest.remove_prefix(end);
    }
    return at;
}

void IndexStore::appendPath(uint32_t index, std::string& out) const {
    thread_local std::vector<uint32_t> chain;
    chain.clear();
    for (uint32_t i = index; i != kNoEntry; i = entries_[i].parent) chain.push_back(i);
    for (size_t depth = chain.size(); depth > 0;) {
        uint32_t i = chain[--depth];
        if (entries_[i].type != EntryType::root && (out.empty() || out.back() != '/')) out += '/';
        out.append(rawName(i));
    }
}

std::string IndexStore::path(uint32_t index) const {
    std::string out;
    appendPath(index, out);
    return out;
}

uint32_t IndexStore::entryAtOffset(uint32_t offset, uint32_t lo, uint32_t hi) const {
    auto first = entries_.begin() + lo, last = entries_.begin() + hi;
    auto it = std::upper_bound(first, last, offset, [](uint32_t off, const Entry& e) { return off < e.foldOff; });
    return static_cast<uint32_t>((it - entries_.begin()) - 1);
}

size_t IndexStore::memoryBytes() const {
    return entries_.capacity() * sizeof(Entry) + folded_.capacity() + raw_.capacity() + filter_.memoryBytes() +
           roots_.capacity() * sizeof(uint32_t);
}

void IndexStore::trimCapacity() {
    entries_.shrink_to_fit();
    folded_.shrink_to_fit();
    raw_.shrink_to_fit();
    roots_.shrink_to_fit();
    filter_.shrinkToFit();
}

void IndexStore::rebuildFilter() {
    filter_.clear();
    for (uint32_t i = 0; i < entries_.size(); ++i) filter_.add(i, foldedName(i));
    filter_.shrinkToFit();
}

std::vector<uint32_t> IndexStore::compact() {
    std::vector<uint32_t> remap(entries_.size(), kNoEntry);
    EntryTable entries;
    entries.reserve(live_);
    Arena folded, raw;
    folded.reserve(folded_.size());
    for (uint32_t i = 0; i < entries_.size(); ++i) {
        const Entry& old = entries_[i];
        if (!old.alive()) continue;
        Entry e = old;
        remap[i] = static_cast<uint32_t>(entries.size());
        e.foldOff = static_cast<uint32_t>(folded.size());
        folded.append(foldedName(i));
        folded += '\0';
        if (old.rawOff != kNoEntry) {
            e.rawOff = static_cast<uint32_t>(raw.size());
            raw.append(rawName(i));
        }
        entries.push_back(e);
    }
    auto map = [&](uint32_t i) { return i == kNoEntry ? kNoEntry : remap[i]; };
    for (Entry& e : entries) {
        e.parent = map(e.parent);
        e.firstChild = map(e.firstChild);
        e.nextSibling = map(e.nextSibling);
    }
    for (uint32_t& r : roots_) r = map(r);
    entries_ = std::move(entries);
    folded_ = std::move(folded);
    raw_ = std::move(raw);
    folded_.shrink_to_fit();
    raw_.shrink_to_fit();
    rebuildFilter();
    return remap;
}

bool IndexStore::assign(EntryTable entries, Arena folded, Arena raw) {
    uint64_t rawPos = 0;
    std::vector<uint32_t> roots;
    for (uint32_t i = 0; i < entries.size(); ++i) {
        Entry& e = entries[i];
        if (e.type == EntryType::dead || static_cast<uint8_t>(e.type) > 5) return false;
        bool root = e.type == EntryType::root;
        if (root != (e.parent == kNoEntry)) return false;
        if (!root && (e.parent >= i || !entries[e.parent].isFolder())) return false;
        // Names follow each other, each ending in a NUL just before the next.
        const uint64_t end = i + 1 < entries.size() ? entries[i + 1].foldOff : folded.size();
        if ((i == 0 && e.foldOff != 0) || end <= e.foldOff || end > folded.size() ||
            std::memchr(folded.data() + e.foldOff, '\0', end - e.foldOff) != folded.data() + end - 1)
            return false;
        if (e.rawOff == kNoEntry && e.rawLen != end - 1 - e.foldOff) return false;
        if (e.rawOff != kNoEntry) {
            e.rawOff = static_cast<uint32_t>(rawPos);
            rawPos += e.rawLen;
            if (rawPos > raw.size()) return false;
        }
        e.firstChild = e.nextSibling = kNoEntry;
        if (root) roots.push_back(i);
    }
    if (rawPos != raw.size() || (entries.empty() && !folded.empty())) return false;
    // Relink children; walking backwards keeps each folder's list in index order.
    for (uint32_t i = static_cast<uint32_t>(entries.size()); i-- > 0;) {
        Entry& e = entries[i];
        if (e.parent == kNoEntry) continue;
        e.nextSibling = entries[e.parent].firstChild;
        entries[e.parent].firstChild = i;
    }
    entries_ = std::move(entries);
    folded_ = std::move(folded);
    raw_ = std::move(raw);
    roots_ = std::move(roots);
    live_ = entries_.size();
    rebuildFilter();
    // A snapshot is trusted on the order of children only where it holds.
    checkChildOrder();
    return true;
}

void IndexStore::checkChildOrder() {
    for (uint32_t f = 0; f < entries_.size(); ++f) {
        Entry& folder = entries_[f];
        if (!(folder.flags & Entry::kChildrenInOrder)) continue;
        uint32_t previous = kNoEntry;
        for (uint32_t c = folder.firstChild; c != kNoEntry; c = entries_[c].nextSibling) {
            if (previous != kNoEntry && !(c > previous && rawName(previous) < rawName(c))) {
                folder.flags &= static_cast<uint8_t>(~Entry::kChildrenInOrder);
                break;
            }
            previous = c;
        }
    }
}

}  // namespace qf::index
