#include "index/service/follower.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "base/path_names.h"
#include "base/start_thread.h"
#include "index/service/log.h"

namespace qf::index {
namespace {

// How long the mount table must stay unchanged before it is read: long
// enough for a script's mount, check and unmount, short beside the crawl of
// a disk a user has just plugged in and is waiting to search.
constexpr int64_t kMountSettleMs = 100;

void signal(const UniqueFd& fd) {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(fd.get(), &one, sizeof one);
}

void drain(int fd) {
    char buffer[4096];
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
}

}  // namespace

Follower::Follower(const IndexParts& parts)
    : parts_(parts),
      wakeup_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      reload_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      inotify_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

Follower::~Follower() { stop(); }

void Follower::loadInitial() {
    lastMounts_ = mounts_.read();
    if (!parts_.options.settingsPath.empty()) {
        watchFolder();
        stamp_ = stampNow();
    }
    Expected<LoadedSettings> loaded =
        parts_.options.settingsPath.empty() ? LoadedSettings{} : loadIndexSettings(parts_.options.settingsPath);
    if (loaded)
        apply(*loaded, true);
    else
        holdSettings(parts_, loaded.error(), true);
}

void Follower::apply(const LoadedSettings& loaded, bool initial) {
    applySettings(parts_, loaded, lastMounts_, initial);
    inForce_ = loaded;
}

bool Follower::followRoots() {
    if (!inForce_) return false;
    std::vector<std::string> inForce;
    {
        std::shared_lock lock(parts_.state.mutex);
        inForce = parts_.state.configuredRoots;
    }
    return roots_.follow(inForce, waitingRoots(parts_.options, inForce_->settings));
}

void Follower::checkRoots() {
    // A root may appear between finding the nearest folder above it and
    // watching that folder, unseen: look again until nothing changes.
    for (int round = 0; round < 8 && checkRootsOnce(); ++round) {
    }
}

bool Follower::checkRootsOnce() {
    if (!inForce_) return false;
    std::vector<std::string> now = chosenRoots(parts_.options, inForce_->settings), before;
    {
        std::shared_lock lock(parts_.state.mutex);
        before = parts_.state.configuredRoots;
    }
    std::vector<std::string> changed = roots_.changed();
    // A folder above a waiting root that appeared is watched instead.
    if (now == before && changed.empty()) return followRoots();
    auto has = [](const std::vector<std::string>& list, const std::string& r) {
        return std::find(list.begin(), list.end(), r) != list.end();
    };
    std::vector<std::string> fresh;
    for (const std::string& r : now)
        if (!has(before, r) || has(changed, r)) fresh.push_back(r);
    roots_.expect(fresh);
    for (const std::string& r : now)
        if (!has(before, r)) logLine("the root " + r + " appeared; indexing it");
    for (const std::string& r : before)
        if (!has(now, r)) logLine("the root " + r + " is gone; its entries are dropped until it appears again");
    if (now != before) applySettings(parts_, *inForce_, lastMounts_, false);
    for (const std::string& r : changed)
        if (has(now, r) && has(before, r)) {
            logLine("the root " + r + " is another folder now; reading it afresh");
            reviveRoot(parts_, r);
        }
    followRoots();
    return true;
}

Expected<void> Follower::start() {
    // Mounts changed since loadInitial() are found by the first diff.
    {
        std::shared_lock lock(parts_.state.mutex);
        roots_.expect(parts_.state.configuredRoots);
    }
    startRoots(parts_, lastMounts_);
    followRoots();
    Expected<std::thread> thread = startThread([this] { run(); }, "the settings and mounts");
    if (!thread) return std::move(thread).error();
    thread_ = std::move(*thread);
    return {};
}

void Follower::stop() {
    if (!thread_.joinable()) return;
    signal(wakeup_);
    thread_.join();
}

void Follower::reload() { signal(reload_); }

Follower::Stamp Follower::stampNow() const {
    struct stat st {};
    if (::stat(parts_.options.settingsPath.c_str(), &st) != 0) return {};
    return {true,
            st.st_dev,
            st.st_ino,
            static_cast<int64_t>(st.st_size),
            st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec,
            st.st_ctim.tv_sec * 1'000'000'000LL + st.st_ctim.tv_nsec};
}

void Follower::watchFolder() {
    if (folderWd_ >= 0 || !inotify_) return;
    std::string path = parts_.options.settingsPath;
    std::string folder = containingFolder(path);
    // Editors write a new file and rename it over the old one. A file just
    // created is read once written (closed), not while still empty.
    folderWd_ = ::inotify_add_watch(inotify_.get(), folder.c_str(),
                                    IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_ATTRIB |
                                        IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
}

void Follower::reloadSettings(bool evenIfUnchanged) {
    if (parts_.options.settingsPath.empty()) return;
    Stamp now = stampNow();
    if (!evenIfUnchanged && now == stamp_) return;
    stamp_ = now;
    Expected<LoadedSettings> loaded = loadIndexSettings(parts_.options.settingsPath);
    if (loaded) {
        std::vector<std::string> added = chosenRoots(parts_.options, loaded->settings);
        {
            std::shared_lock lock(parts_.state.mutex);
            const std::vector<std::string>& inForce = parts_.state.configuredRoots;
            std::erase_if(added, [&](const std::string& r) {
                return std::find(inForce.begin(), inForce.end(), r) != inForce.end();
            });
        }
        roots_.expect(added);
        apply(*loaded, false);
        followRoots();
    } else {
        holdSettings(parts_, loaded.error(), false);
    }
}

void Follower::followMounts() {
    std::vector<MountPoint> now = mounts_.read();
    if (now.empty()) return;  // unreadable: nothing is dropped on a failed read
    MountChanges changes = diffMounts(lastMounts_, now);
    lastMounts_ = std::move(now);
    if (!changes.mounted.empty() || !changes.unmounted.empty()) applyMountChanges(parts_, changes, lastMounts_);
}

int Follower::mountsDueInMs() const {
    if (mountsChangedMs_ < 0) return -1;
    return static_cast<int>(std::max<int64_t>(0, mountsChangedMs_ + kMountSettleMs - steadyMs()));
}

void Follower::run() {
    while (true) {
        pollfd fds[4] = {{wakeup_.get(), POLLIN, 0},
                         {reload_.get(), POLLIN, 0},
                         {inotify_.get(), POLLIN, 0},
                         {mounts_.valid() ? mounts_.fd() : -1, POLLPRI, 0}};
        const int mountsDue = mountsDueInMs();
        int n = ::poll(fds, 4, mountsDue >= 0 ? std::min(mountsDue, 1000) : 1000);
        if (n < 0 && errno != EINTR) return;
        if (fds[0].revents) return;
        // The table is read once it has stayed the same for a moment: a disk
        // unmounted right after it was mounted (a wrong one, or a check
        // mount) is never crawled, and so never busy because of us.
        if (fds[3].revents & (POLLPRI | POLLERR)) mountsChangedMs_ = steadyMs();
        if (mountsDueInMs() == 0) {
            mountsChangedMs_ = -1;
            followMounts();
        }
        bool asked = fds[1].revents != 0;
        if (asked) drain(reload_.get());
        if (fds[2].revents) {
            alignas(inotify_event) char buffer[4096];
            ssize_t len;
            while ((len = ::read(inotify_.get(), buffer, sizeof buffer)) > 0)
                for (ssize_t pos = 0; pos < len;) {
                    const auto* ev = reinterpret_cast<const inotify_event*>(buffer + pos);
                    pos += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
                    if (!(ev->mask & IN_IGNORED)) continue;
                    if (ev->wd == folderWd_) folderWd_ = -1;
                    roots_.forget(ev->wd);
                }
        }
        // A folder created after start is watched from the next second on;
        // until then, and for changes inotify cannot see, the times are
        // compared every second.
        if (!parts_.options.settingsPath.empty() && folderWd_ < 0) watchFolder();
        if (asked) logLine("reading the settings again on request");
        reloadSettings(asked);
        // Also every second: a root's folder may lack a watch.
        checkRoots();
    }
}

}  // namespace qf::index
