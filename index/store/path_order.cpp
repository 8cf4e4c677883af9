#include "index/store/path_order.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>

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
bool placeInOrder(const IndexStore& store, std::vector<Item>& list) {
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
    std::vector<Keyed> belows;
    std::vector<Item> names;
    belows.reserve(belowCount);
    names.reserve(list.size() - belowCount);
    for (const Item& item : list) {
        if (item.below)
            belows.push_back(keyed(store, item));
        else
            names.push_back(item);
    }
    std::sort(belows.begin(), belows.end(), keyedLess);
    list.clear();
    auto from = names.begin();
    for (const Keyed& below : belows) {
        const auto to = std::partition_point(from, names.end(),
                                             [&](const Item& name) { return keyedLess(keyed(store, name), below); });
        list.insert(list.end(), from, to);
        list.push_back(below.item);
        from = to;
    }
    list.insert(list.end(), from, names.end());
    return true;
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
    std::vector<Item> top;
    std::unordered_map<uint32_t, std::vector<Item>> inFolder;
    std::unordered_set<uint32_t> placed;  // folders already standing in their parent
    const auto itemsOf = [&](uint32_t folder) -> std::vector<Item>& {
        return folder == kNoEntry ? top : inFolder[folder];
    };
    const auto place = [&](uint32_t folder) {
        for (uint32_t f = folder; f != kNoEntry && placed.insert(f).second;) {
            const uint32_t parent = store.at(f).parent;
            itemsOf(parent).push_back({f, true});
            f = parent;
        }
    };

    // Entries of one folder mostly stand together in the answer, so the
    // folder is looked up once per run of them.
    uint32_t lastParent = kNoEntry;
    std::vector<Item>* items = nullptr;
    for (const uint32_t id : ids) {
        const uint32_t parent = store.at(id).parent;
        if (items == nullptr || parent != lastParent) {
            place(parent);
            items = &itemsOf(parent);
            lastParent = parent;
        }
        items->push_back({id, false});
    }

    // Each folder's list is sorted on its own, so the lists are shared out
    // among the threads; the biggest ones go first.
    std::vector<std::pair<uint32_t, std::vector<Item>*>> lists{{kNoEntry, &top}};
    for (auto& [folder, list] : inFolder) lists.emplace_back(folder, &list);
    std::sort(lists.begin(), lists.end(),
              [](const auto& a, const auto& b) { return a.second->size() > b.second->size(); });
    std::atomic<size_t> nextList{0};
    const auto sortLists = [&] {
        std::vector<Keyed> keys;
        for (size_t i; (i = nextList.fetch_add(1)) < lists.size();) {
            const auto [folder, listPointer] = lists[i];
            std::vector<Item>& list = *listPointer;
            if (folder != kNoEntry && (store.at(folder).flags & Entry::kChildrenInOrder) && placeInOrder(store, list))
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
        if (ids.size() >= kParallelFrom) {
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

    std::vector<uint32_t> ordered;
    ordered.reserve(ids.size());
    struct Frame {
        const std::vector<Item>* items;
        size_t next;
    };
    std::vector<Frame> stack{{&top, 0}};
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.items->size()) {
            stack.pop_back();
            continue;
        }
        const Item item = (*frame.items)[frame.next++];
        if (!item.below) {
            ordered.push_back(item.id);
            continue;
        }
        stack.push_back({&inFolder[item.id], 0});
    }
    ids = std::move(ordered);
}

}  // namespace qf::index
