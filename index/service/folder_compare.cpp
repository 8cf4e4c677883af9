#include "index/service/folder_compare.h"

#include <fcntl.h>

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "base/path_at.h"
#include "base/path_names.h"
#include "index/service/folder_reader.h"
#include "index/service/folder_retries.h"
#include "index/service/mounts.h"

namespace qf::index {
namespace {

struct Known {
    EntryType type;
    FileTimes times;
    bool pruned;
    uint32_t entry;
};

// What the index holds of a folder, read under one shared hold.
struct IndexedFolder {
    bool found = false;
    bool root = false, systemRoot = false, pruned = false;
    FileTimes times;
    uint32_t entry = kNoEntry;
    uint64_t generation = 0;
    std::unordered_map<std::string, Known> children;
    IndexSettings settings;
    bool prunedDevice = false;  // the folder's file system is left out
};

IndexedFolder readIndexed(const IndexState& state, const ServiceOptions& options, const std::string& path,
                          uint32_t entry, uint64_t generation, dev_t device, dev_t parentDevice) {
    IndexedFolder f;
    std::shared_lock lock(state.mutex);
    const IndexStore& store = state.store;
    if (generation != state.generation || entry >= store.size()) entry = store.findPath(path);
    if (entry == kNoEntry || !store.at(entry).alive() || !store.at(entry).isFolder()) return f;
    const Entry& e = store.at(entry);
    f.found = true;
    f.entry = entry;
    f.generation = state.generation;
    f.root = e.type == EntryType::root;
    f.systemRoot = f.root && store.rawName(entry) == options.systemRoot;
    f.pruned = (e.flags & Entry::kPruned) != 0;
    f.times = e.times;
    f.settings = state.settings;
    f.prunedDevice = parentDevice != 0 && device != parentDevice && state.prunedDevices.count(device) != 0;
    for (uint32_t c = e.firstChild; c != kNoEntry; c = store.at(c).nextSibling) {
        const Entry& child = store.at(c);
        f.children.emplace(std::string(store.rawName(c)),
                           Known{child.type, child.times, (child.flags & Entry::kPruned) != 0, c});
    }
    return f;
}

bool isPrunedTop(const IndexedFolder& f, const ListedItem& item) {
    if (!f.systemRoot || item.facts.type != EntryType::dir) return false;
    const auto& top = prunedTopFolders();
    return std::find(top.begin(), top.end(), item.name) != top.end();
}

}  // namespace

Expected<FolderComparison> compareFolder(const IndexState& state, const ServiceOptions& options,
                                         const std::string& path, uint32_t entry, uint64_t generation,
                                         dev_t parentDevice) {
    Expected<UniqueFd> opened = openPath(path, O_RDONLY | O_DIRECTORY | (parentDevice == 0 ? 0 : O_NOFOLLOW));
    FolderComparison out;
    if (!opened && isPermissionDenied(opened.error())) return out;
    if (!opened && !isGone(opened.error())) return std::move(opened).error();
    std::optional<ItemFacts> self;
    if (opened) {
        self = factsAt(opened->get(), "");
        if (!self) return Error::lastErrno("cannot examine the folder");
        out.device = self->device;
    }
    IndexedFolder indexed = readIndexed(state, options, path, entry, generation, out.device, parentDevice);
    out.entry = indexed.entry;
    out.generation = indexed.generation;
    if (!indexed.found) {
        if (opened) out.differences.push_back({FolderDifference::Kind::missing, ""});
        return out;
    }
    if (!opened) {
        out.differences.push_back({FolderDifference::Kind::extra, ""});
        return out;
    }
    // A folder the crawl does not enter holds nothing in the index.
    std::vector<ListedItem> items;
    if (!indexed.pruned && !indexed.prunedDevice) {
        Expected<std::vector<ListedItem>> listing = readFolder(opened->get());
        if (!listing) return std::move(listing).error();
        items = std::move(*listing);
        if (Expected<void> facts = readItemFacts(opened->get(), items); !facts) return std::move(facts).error();
        std::erase_if(items, [&](const ListedItem& item) {
            return isExcluded(indexed.settings, item.name, joinPath(path, item.name),
                              item.facts.type == EntryType::dir);
        });
    }
    if (indexed.prunedDevice != indexed.pruned || FileTimes(self->mtime, self->btime) != indexed.times)
        out.differences.push_back({FolderDifference::Kind::changed, ""});
    for (const ListedItem& item : items) {
        ++out.items;
        auto it = indexed.children.find(item.name);
        if (it == indexed.children.end()) {
            out.differences.push_back({FolderDifference::Kind::missing, item.name});
            continue;
        }
        const Known& known = it->second;
        const bool folder = item.facts.type == EntryType::dir;
        // A pruned top folder is named, never entered; a folder pruned for
        // its file system is checked as it is entered.
        const bool top = isPrunedTop(indexed, item);
        if (known.type != item.facts.type || (top && !known.pruned) ||
            (!folder && item.facts.mtime != kNoTime && FileTimes(item.facts.mtime, item.facts.btime) != known.times))
            out.differences.push_back({FolderDifference::Kind::changed, item.name});
        else if (folder && !top)
            out.subfolders.push_back({known.entry, item.name});
        indexed.children.erase(it);
    }
    for (const auto& [name, known] : indexed.children) out.differences.push_back({FolderDifference::Kind::extra, name});
    return out;
}

std::vector<FolderDifference> lastingDifferences(const std::vector<FolderDifference>& first,
                                                 const std::vector<FolderDifference>& again) {
    std::vector<FolderDifference> out;
    for (const FolderDifference& d : again)
        if (std::find(first.begin(), first.end(), d) != first.end()) out.push_back(d);
    return out;
}

}  // namespace qf::index
