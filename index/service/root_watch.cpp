#include "index/service/root_watch.h"

#include <sys/inotify.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>

#include "base/path_names.h"

namespace qf::index {
namespace {

// Names coming and going in the folder, and the folder itself going.
constexpr uint32_t kFolderChanges =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// The nearest folder at or above the absolute `path` that exists, "/" at
// the least.
std::string nearestExistingFolder(const std::string& path) {
    std::string folder = path;
    struct stat st {};
    while (folder != "/" && !(::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)))
        folder = containingFolder(folder);
    return folder;
}

}  // namespace

RootWatch::~RootWatch() {
    for (const auto& [folder, wd] : watches_) ::inotify_rm_watch(inotify_, wd);
}

void RootWatch::expect(const std::vector<std::string>& roots) {
    for (const std::string& root : roots) {
        struct stat st {};
        if (::stat(root.c_str(), &st) == 0)
            inForce_[root] = {st.st_dev, st.st_ino};
        else
            inForce_.erase(root);
    }
}

bool RootWatch::follow(const std::vector<std::string>& inForce, const std::vector<std::string>& waiting) {
    std::set<std::string> folders;
    std::erase_if(inForce_,
                  [&](const auto& r) { return std::find(inForce.begin(), inForce.end(), r.first) == inForce.end(); });
    for (const std::string& root : inForce) {
        if (!inForce_.count(root)) expect({root});
        if (root != "/") folders.insert(containingFolder(root));
    }
    for (const std::string& root : waiting) folders.insert(nearestExistingFolder(containingFolder(root)));
    bool moved = false;
    for (auto it = watches_.begin(); it != watches_.end();) {
        if (folders.count(it->first)) {
            ++it;
            continue;
        }
        ::inotify_rm_watch(inotify_, it->second);
        it = watches_.erase(it);
        moved = true;
    }
    // A folder that cannot be watched is still checked every second.
    for (const std::string& folder : folders)
        if (!watches_.count(folder))
            if (int wd = ::inotify_add_watch(inotify_, folder.c_str(), kFolderChanges); wd >= 0) {
                watches_[folder] = wd;
                moved = true;
            }
    return moved;
}

void RootWatch::forget(int wd) {
    std::erase_if(watches_, [&](const auto& w) { return w.second == wd; });
}

std::vector<std::string> RootWatch::changed() const {
    std::vector<std::string> out;
    for (const auto& [root, identity] : inForce_) {
        struct stat st {};
        if (::stat(root.c_str(), &st) != 0 || Identity{st.st_dev, st.st_ino} != identity) out.push_back(root);
    }
    return out;
}

}  // namespace qf::index
