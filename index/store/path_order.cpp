#include "index/store/path_order.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <span>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

namespace qf::index {

namespace {

// Inside one folder, an entry's path continues with its name, and what lies
// below a folder continues with its name and a slash. The two are ordered
// apart: "a/b" < "a-c" < "a/b/x" puts a sibling between a folder and its
// contents.
struct Item {
    uint32_t id;
    bool below;  // stands for what lies below the folder `id`
};

// An item's key, with its first sixteen bytes as two numbers: names in one
// folder often share a stem, and most pairs are told apart by those alone.
// Names hold no NUL byte, so the zeros that pad a short key sort it first,
// as a prefix should.
struct Keyed {
    uint64_t high;
    uint64_t low;
    const char* name;
    uint32_t size;
    bool slash;
    Item item;

    int at(size_t i) const {
        if (i < size) return static_cast<unsigned char>(name[i]);
        return slash && i == size ? '/' : -1;
    }
};

uint64_t bigEndian(const unsigned char* bytes) {
    uint64_t word;
    std::memcpy(&word, bytes, 8);
    return __builtin_bswap64(word);
}

Keyed keyed(const IndexStore& store, const Item& item) {
    const std::string_view name = store.rawName(item.id);
    Keyed k{0, 0, name.data(), static_cast<uint32_t>(name.size()), false, item};
    // A root such as "/" already ends in the slash its children follow.
    k.slash = item.below && (name.empty() || name.back() != '/');
    unsigned char head[16] = {};
    if (name.size() >= sizeof head) {
        std::memcpy(head, name.data(), sizeof head);
    } else {
        std::memcpy(head, name.data(), name.size());
        if (k.slash) head[name.size()] = '/';
    }
    k.high = bigEndian(head);
    k.low = bigEndian(head + 8);
    return k;
}

bool keyedLess(const Keyed& a, const Keyed& b) {
    if (a.high != b.high) return a.high < b.high;
    if (a.low != b.low) return a.low < b.low;
    const size_t common = std::min(a.size, b.size);
    if (const int c = std::memcmp(a.name, b.name, common); c != 0) return c < 0;
    // One name is a prefix of the other: at most the slash differs after it.
    for (size_t i = common;; ++i) {
        const int x = a.at(i), y = b.at(i);
        if (x != y) return x < y;
        // Equal keys only for the root "/": the folder before its contents.
        if (x < 0) return a.item.below < b.item.below;
    }
}

// A folder whose children's ids ascend with their names lists its entries
// in name order already, as answers hold ids in ascending order: only the
// few items standing for its subfolders need a place among them, found by
// binary search, so most names are never read. False, with the list as it
// was, when the ids do not ascend after all.
bool placeInOrder(const IndexStore& store, std::span<Item> list, std::vector<Keyed>& belows, std::vector<Item>& names) {
    size_t belowCount = 0;
    uint32_t last = 0;
    bool any = false;
    for (const Item& item : list) {
        if (item.below) {
            ++belowCount;
            continue;
        }
        if (any && item.id <= last) return false;
        last = item.id;
        any = true;
    }
    if (belowCount == 0) return true;
    belows.clear();
    names.clear();
    for (const Item& item : list) {
        if (item.below)
            belows.push_back(keyed(store, item));
        else
            names.push_back(item);
    }
    std::sort(belows.begin(), belows.end(), keyedLess);
    auto out = list.begin();
    auto from = names.begin();
    for (const Keyed& below : belows) {
        const auto to = std::partition_point(from, names.end(),
                                             [&](const Item& name) { return keyedLess(keyed(store, name), below); });
        out = std::copy(from, to, out);
        *out++ = below.item;
        from = to;
    }
    std::copy(from, names.end(), out);
    return true;
}

// An item with the folder it stands in.
struct Placed {
    uint32_t folder;
    Item item;
};

// Groups the items by folder, keeping the order they were met in within a
// folder (placeInOrder relies on it): a stable radix sort on the folder,
// eleven bits a pass, as the answers that need it most hold tens of
// thousands of items in as many folders.
void groupByFolder(std::vector<Placed>& items) {
    constexpr unsigned kBits = 11;
    constexpr size_t kBuckets = size_t{1} << kBits;
    std::vector<Placed> other(items.size());
    std::vector<size_t> start(kBuckets);
    for (unsigned shift = 0; shift < 32; shift += kBits) {
        std::fill(start.begin(), start.end(), 0);
        for (const Placed& p : items) ++start[(p.folder >> shift) & (kBuckets - 1)];
        size_t at = 0;
        for (size_t& s : start) at += std::exchange(s, at);
        for (const Placed& p : items) other[start[(p.folder >> shift) & (kBuckets - 1)]++] = p;
        items.swap(other);
    }
}

// Below this many entries a thread costs more than it saves.
constexpr size_t kParallelFrom = 20000;

}  // namespace

uint64_t nameHead(std::string_view name) {
    unsigned char head[8] = {};
    std::memcpy(head, name.data(), std::min<size_t>(sizeof head, name.size()));
    return bigEndian(head);
}

void sortByPath(const IndexStore& store, std::vector<uint32_t>& ids, unsigned threads) {
    if (ids.size() < 2) return;
    // Each entry in its folder, and each folder on the way up in its
    // parent, once: a bit per entry of the index says which folders stand
    // in theirs already. An answer's entries of one folder mostly stand
    // together, so the folder is looked at once per run of them.
    std::vector<Placed> items;
    items.reserve(ids.size() + ids.size() / 2);
    std::vector<uint64_t> placed(store.size() / 64 + 1);
    const auto place = [&](uint32_t folder) {
        for (uint32_t f = folder; f != kNoEntry;) {
            uint64_t& word = placed[f / 64];
            const uint64_t bit = uint64_t{1} << (f % 64);
            if (word & bit) break;
            word |= bit;
            const uint32_t parent = store.at(f).parent;
            items.push_back({parent, {f, true}});
            f = parent;
        }
    };
    uint32_t lastParent = kNoEntry;
    for (size_t i = 0; i < ids.size(); ++i) {
        const uint32_t parent = store.at(ids[i]).parent;
        if (i == 0 || parent != lastParent) {
            place(parent);
            lastParent = parent;
        }
        items.push_back({parent, {ids[i], false}});
    }
    groupByFolder(items);

    // One list per folder, in ascending folder order (the top level, whose
    // folder is kNoEntry, comes last).
    struct List {
        uint32_t folder;
        uint32_t begin;
        uint32_t end;
    };
    std::vector<List> lists;
    for (uint32_t i = 0; i < items.size(); ++i)
        if (lists.empty() || lists.back().folder != items[i].folder)
            lists.push_back({items[i].folder, i, i + 1});
        else
            lists.back().end = i + 1;
    std::vector<Item> order(items.size());
    for (size_t i = 0; i < items.size(); ++i) order[i] = items[i].item;
    items = {};

    // Each folder's list is sorted on its own, so the lists are shared out
    // among the threads; the biggest ones go first.
    std::vector<uint32_t> bySize(lists.size());
    for (uint32_t i = 0; i < bySize.size(); ++i) bySize[i] = i;
    const bool parallel = ids.size() >= kParallelFrom && threads > 1;
    if (parallel)
        std::sort(bySize.begin(), bySize.end(), [&](uint32_t a, uint32_t b) {
            return lists[a].end - lists[a].begin > lists[b].end - lists[b].begin;
        });
    std::atomic<size_t> nextList{0};
    const auto sortLists = [&] {
        std::vector<Keyed> keys;
        std::vector<Item> names;
        for (size_t i; (i = nextList.fetch_add(1)) < bySize.size();) {
            const List& l = lists[bySize[i]];
            const std::span<Item> list(order.data() + l.begin, l.end - l.begin);
            if (list.size() < 2) continue;
            if (l.folder != kNoEntry && (store.at(l.folder).flags & Entry::kChildrenInOrder) &&
                placeInOrder(store, list, keys, names))
                continue;
            keys.clear();
            for (size_t k = 0; k < list.size(); ++k) {
                if (k + 8 < list.size()) store.prefetchRawName(list[k + 8].id);
                keys.push_back(keyed(store, list[k]));
            }
            std::sort(keys.begin(), keys.end(), keyedLess);
            for (size_t k = 0; k < keys.size(); ++k) list[k] = keys[k].item;
        }
    };
    {
        std::vector<std::jthread> helpers;
        if (parallel) {
            for (unsigned t = 1; t < threads; ++t) {
                // A thread that cannot start leaves its share to the others.
                try {
                    helpers.emplace_back(sortLists);
                } catch (const std::system_error&) {
                    break;
                }
            }
        }
        sortLists();
    }

    const auto listOf = [&](uint32_t folder) -> const List& {
        return *std::lower_bound(lists.begin(), lists.end(), folder,
                                 [](const List& l, uint32_t f) { return l.folder < f; });
    };
    std::vector<uint32_t> ordered;
    ordered.reserve(ids.size());
    struct Frame {
        uint32_t next;
        uint32_t end;
    };
    std::vector<Frame> stack{{lists.back().begin, lists.back().end}};
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.end) {
            stack.pop_back();
            continue;
        }
        const Item item = order[frame.next++];
        if (!item.below) {
            ordered.push_back(item.id);
            continue;
        }
        const List& l = listOf(item.id);
        stack.push_back({l.begin, l.end});
    }
    ids = std::move(ordered);
}

}  // namespace qf::index
