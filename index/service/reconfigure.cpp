#include "index/service/reconfigure.h"

#include <climits>
#include <cstdlib>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "base/path_names.h"
#include "index/client/printable.h"
#include "index/service/log.h"
#include "index/service/mounts.h"

namespace qf::index {
namespace {

bool contains(const std::vector<std::string>& list, std::string_view value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// Whether the folder at `path` lies at or below a folder left out, by path
// or by the name of one of its folders below the root that holds it.
bool isExcludedFolder(const IndexStore& store, const IndexSettings& settings, std::string_view path) {
    size_t rootLength = 0;
    for (uint32_t r : store.roots())
        if (isSameOrInside(path, store.rawName(r))) rootLength = std::max(rootLength, store.rawName(r).size());
    for (size_t at = rootLength; at < path.size();) {
        if (path[at] == '/') {
            ++at;
            continue;
        }
        size_t end = std::min(path.find('/', at), path.size());
        if (isExcluded(settings, path.substr(at, end - at), path.substr(0, end), true)) return true;
        at = end;
    }
    return false;
}

// Whether `after` leaves out something `before` let in, and the reverse.
bool leavesOutMore(const IndexSettings& before, const IndexSettings& after) {
    if (before.hidden && !after.hidden) return true;
    auto added = [](const std::vector<std::string>& from, const std::vector<std::string>& to) {
        return std::any_of(to.begin(), to.end(), [&](const std::string& v) { return !contains(from, v); });
    };
    return added(before.excludedNames, after.excludedNames) || added(before.excludedPaths, after.excludedPaths);
}

uint32_t rootNamed(const IndexStore& store, std::string_view path) {
    for (uint32_t r : store.roots())
        if (store.rawName(r) == path) return r;
    return kNoEntry;
}

// Removes what the settings leave out, walking the whole index. Needs
// `state.mutex` exclusively.
size_t removeLeftOut(const IndexParts& parts) {
    const IndexStore& store = parts.state.store;
    const IndexSettings& settings = parts.state.settings;
    std::vector<uint32_t> doomed;
    std::vector<std::pair<uint32_t, std::string>> stack;
    for (uint32_t r : store.roots()) stack.emplace_back(r, std::string(store.rawName(r)));
    while (!stack.empty()) {
        auto [folder, path] = std::move(stack.back());
        stack.pop_back();
        for (uint32_t c = store.at(folder).firstChild; c != kNoEntry; c = store.at(c).nextSibling) {
            const Entry& e = store.at(c);
            std::string childPath = joinPath(path, store.rawName(c));
            if (isExcluded(settings, store.rawName(c), childPath, e.type == EntryType::dir))
                doomed.push_back(c);
            else if (e.type == EntryType::dir)
                stack.emplace_back(c, std::move(childPath));
        }
    }
    for (uint32_t c : doomed) parts.watches.removeEntry(c);
    return doomed.size();
}

// Network file systems let in or left out again. Needs `state.mutex`
// exclusively.
void followNetworkSetting(const IndexParts& parts, const std::vector<MountPoint>& mounts, bool network) {
    IndexStore& store = parts.state.store;
    for (const MountPoint& m : mounts) {
        if (!isNetworkFsType(m.fsType) || !isPrunedFsType(m.fsType)) continue;
        uint32_t e = store.findPath(m.path);
        if (e == kNoEntry || !store.at(e).isFolder()) continue;
        if (network) {
            if (!(store.at(e).flags & Entry::kPruned)) continue;
            store.at(e).flags &= static_cast<uint8_t>(~Entry::kPruned);
            parts.crawler.queueFolder(e, true, true);
        } else {
            std::vector<uint32_t> children;
            for (uint32_t c = store.at(e).firstChild; c != kNoEntry; c = store.at(c).nextSibling) children.push_back(c);
            for (uint32_t c : children) parts.watches.removeEntry(c);
            parts.watches.unwatch(e);
            store.at(e).flags |= Entry::kPruned;
        }
    }
}

// Makes each disk mounted under run/media a root. Needs `state.mutex`
// exclusively.
void addMountedMedia(const IndexParts& parts, const std::vector<MountPoint>& mounts) {
    IndexStore& store = parts.state.store;
    for (const MountPoint& m : mounts) {
        if (isLeftOutFsType(m.fsType, parts.state.settings.network) ||
            !isMediaPath(parts.state, parts.options, m.path) || isExcludedFolder(store, parts.state.settings, m.path) ||
            store.findPath(m.path) != kNoEntry)
            continue;
        logLine("disk mounted at " + m.path + "; indexing it");
        parts.crawler.queueFolder(store.addRoot(m.path), true, true);
    }
}

void logProblems(const std::string& path, const std::vector<SettingsProblem>& problems) {
    for (const SettingsProblem& p : problems)
        logLine("settings " + path + (p.line > 0 ? ":" + std::to_string(p.line) : "") + ": " + p.reason);
}

}  // namespace

std::vector<std::string> waitingRoots(const ServiceOptions& options, const IndexSettings& settings) {
    std::vector<std::string> waiting;
    if (options.rootsFixed || !settings.roots) return waiting;
    for (const std::string& r : *settings.roots) {
        char real[PATH_MAX];
        if (!::realpath(r.c_str(), real) && errno == ENOENT) waiting.push_back(r);
    }
    return waiting;
}

void reviveRoot(const IndexParts& parts, const std::string& path) {
    std::unique_lock lock(parts.state.mutex);
    IndexStore& store = parts.state.store;
    if (uint32_t e = rootNamed(store, path); e != kNoEntry) parts.watches.removeEntry(e);
    parts.crawler.queueFolder(store.addRoot(path), true, true);
}

std::vector<std::string> chosenRoots(const ServiceOptions& options, const IndexSettings& settings) {
    if (options.rootsFixed) return options.roots;
    return resolveRoots(settings.roots.value_or(std::vector<std::string>{options.systemRoot}));
}

bool isMediaPath(const IndexState& state, const ServiceOptions& options, std::string_view path) {
    if (!contains(state.configuredRoots, options.systemRoot)) return false;
    std::string media = joinPath(options.systemRoot, "run/media");
    return path != media && isSameOrInside(path, media);
}

void applySettings(const IndexParts& parts, const LoadedSettings& loaded, const std::vector<MountPoint>& mounts,
                   bool initial) {
    IndexState& state = parts.state;
    std::vector<std::string> roots = chosenRoots(parts.options, loaded.settings);
    // A root that is no folder would be left out without a word; one that
    // does not exist yet is waited for.
    std::vector<SettingsProblem> problems = loaded.problems;
    std::vector<std::string> waiting = waitingRoots(parts.options, loaded.settings);
    if (!parts.options.rootsFixed && loaded.settings.roots)
        for (const std::string& r : *loaded.settings.roots)
            if (!contains(waiting, r) && resolveRoots({r}).empty())
                problems.push_back(
                    {0, "the root '" + escapeControls(r) + "' is not a folder that can be read; left out"});
    std::unique_lock lock(state.mutex);
    if (initial || problems != state.settingsProblems) logProblems(parts.options.settingsPath, problems);
    if (state.settingsFailure) logLine("settings " + parts.options.settingsPath + " can be used again");
    state.settingsFailure.reset();
    state.settingsHeld = false;
    IndexSettings before = std::exchange(state.settings, loaded.settings);
    state.settingsProblems = std::move(problems);
    state.waitingRoots = std::move(waiting);
    state.prunedDevices = prunedDevices(mounts, state.settings.network);
    std::vector<std::string> rootsBefore = std::exchange(state.configuredRoots, roots);
    if (initial || (before == state.settings && rootsBefore == roots)) return;
    if (before != state.settings) logLine("settings changed; applying them");

    IndexStore& store = state.store;
    for (const std::string& r : rootsBefore)
        if (!contains(roots, r))
            if (uint32_t e = rootNamed(store, r); e != kNoEntry) parts.watches.removeEntry(e);
    // Disks mounted under run/media go with the system root.
    std::vector<uint32_t> mediaGone;
    for (uint32_t r : store.roots())
        if (!contains(roots, store.rawName(r)) && !isMediaPath(state, parts.options, store.rawName(r)))
            mediaGone.push_back(r);
    for (uint32_t r : mediaGone) parts.watches.removeEntry(r);
    for (const std::string& r : roots)
        if (!contains(rootsBefore, r)) parts.crawler.queueFolder(store.addRoot(r), true, true);
    addMountedMedia(parts, mounts);

    if (leavesOutMore(before, state.settings)) {
        size_t removed = removeLeftOut(parts);
        logLine("settings left out " + std::to_string(removed) + " indexed item(s) with what they hold");
    }
    if (before.network != state.settings.network) followNetworkSetting(parts, mounts, state.settings.network);
    // What is let in again lies in folders whose time has not moved: only a
    // fresh listing of every folder finds it.
    if (leavesOutMore(state.settings, before)) parts.crawler.relistAll();
}

void holdSettings(const IndexParts& parts, const Error& why, bool initial) {
    IndexState& state = parts.state;
    std::unique_lock lock(state.mutex);
    std::string reason = why.message();
    if (state.settingsFailure != reason)
        logLine("settings " + reason +
                (initial || state.settingsHeld ? "; nothing is indexed until it can be used"
                                               : "; the settings read before stay in force"));
    state.settingsFailure = std::move(reason);
    if (!initial) return;
    // Settings that are not known could leave anything out: none is assumed.
    state.settingsHeld = true;
    state.settings = IndexSettings{};
    state.settings.roots.emplace();
}

void startRoots(const IndexParts& parts, const std::vector<MountPoint>& mounts) {
    IndexState& state = parts.state;
    IndexStore& store = state.store;
    std::unique_lock lock(state.mutex);
    if (store.roots().empty())
        for (const std::string& r : state.configuredRoots) store.addRoot(r);
    // A snapshot may hold disks unmounted since.
    std::vector<uint32_t> gone;
    for (uint32_t r : store.roots()) {
        std::string_view name = store.rawName(r);
        if (contains(state.configuredRoots, name)) continue;
        bool mounted = std::any_of(mounts.begin(), mounts.end(), [&](const MountPoint& m) {
            return m.path == name && !isLeftOutFsType(m.fsType, state.settings.network);
        });
        if (!mounted || !isMediaPath(state, parts.options, name)) gone.push_back(r);
    }
    for (uint32_t r : gone) parts.watches.removeEntry(r);
    addMountedMedia(parts, mounts);
}

void applyMountChanges(const IndexParts& parts, const MountChanges& changes, const std::vector<MountPoint>& now) {
    if (FanotifyWatch* fanotify = parts.watches.fanotify())
        for (const MountPoint& m : changes.unmounted)
            if (std::none_of(now.begin(), now.end(), [&](const MountPoint& n) { return n.device == m.device; }))
                fanotify->forget(m.device);

    IndexState& state = parts.state;
    IndexStore& store = state.store;
    std::unique_lock lock(state.mutex);
    state.prunedDevices = prunedDevices(now, state.settings.network);
    // A folder that was or becomes a mount point is another folder: its
    // watch goes and it is listed afresh, which drops what left with a disk.
    auto relist = [&](uint32_t e) {
        store.at(e).flags &= static_cast<uint8_t>(~Entry::kPruned);
        parts.watches.unwatch(e);
        parts.crawler.queueFolder(e, true, true);
    };
    // The pruned top folders (run and the like) stay pruned whatever is
    // mounted on them.
    auto isPrunedTop = [&](uint32_t e) {
        const uint32_t parent = store.at(e).parent;
        return parent != kNoEntry && store.at(parent).type == EntryType::root && (store.at(e).flags & Entry::kPruned) &&
               store.rawName(parent) == parts.options.systemRoot;
    };
    for (const MountPoint& m : changes.unmounted) {
        uint32_t root = rootNamed(store, m.path);
        if (root != kNoEntry && !contains(state.configuredRoots, m.path)) {
            parts.watches.removeEntry(root);
            logLine("disk at " + m.path + " unmounted; its entries are dropped");
            continue;
        }
        // What the disk covered is back, also below a pruned file system.
        uint32_t e = store.findPath(m.path);
        if (e != kNoEntry && store.at(e).isFolder() && !isPrunedTop(e)) relist(e);
    }
    for (const MountPoint& m : changes.mounted) {
        bool withinRoot = false;
        uint32_t e = store.findPath(m.path, &withinRoot);
        if (!withinRoot) continue;
        if (isExcludedFolder(store, state.settings, m.path)) continue;
        const bool indexedFolder = e != kNoEntry && store.at(e).isFolder();
        if (isLeftOutFsType(m.fsType, state.settings.network)) {
            // A pruned file system over an indexed folder: what the folder
            // held can no longer be opened there. Listing it again finds the
            // pruned disk, names the folder and hides what it covers.
            if (indexedFolder && !(store.at(e).flags & Entry::kPruned)) relist(e);
            continue;
        }
        if (indexedFolder) {
            if (isPrunedTop(e)) continue;
            relist(e);
        } else if (e == kNoEntry && isMediaPath(state, parts.options, m.path)) {
            addMountedMedia(parts, {m});
        } else if (e == kNoEntry) {
            // Its folder is not indexed yet: listing the parent finds it.
            uint32_t parent = store.findPath(containingFolder(m.path));
            if (parent != kNoEntry && store.at(parent).isFolder() && !(store.at(parent).flags & Entry::kPruned))
                parts.crawler.queueFolder(parent, true, false);
        }
    }
}

}  // namespace qf::index
