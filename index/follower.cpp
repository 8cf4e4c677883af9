#include "follower.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "log.h"

namespace qf::index {
namespace {

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
    LoadedSettings loaded;
    if (!parts_.options.settingsPath.empty()) loaded = loadIndexSettings(parts_.options.settingsPath);
    applySettings(parts_, loaded, lastMounts_, true);
}

void Follower::start() {
    // Mounts changed since loadInitial() are found by the first diff.
    startRoots(parts_, lastMounts_);
    thread_ = std::thread([this] { run(); });
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
    std::string folder = path.substr(0, path.rfind('/'));
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
    applySettings(parts_, loadIndexSettings(parts_.options.settingsPath), lastMounts_, false);
}

void Follower::followMounts() {
    std::vector<MountPoint> now = mounts_.read();
    if (now.empty()) return;  // unreadable: nothing is dropped on a failed read
    MountChanges changes = diffMounts(lastMounts_, now);
    lastMounts_ = std::move(now);
    if (!changes.mounted.empty() || !changes.unmounted.empty()) applyMountChanges(parts_, changes, lastMounts_);
}

void Follower::run() {
    while (true) {
        pollfd fds[4] = {{wakeup_.get(), POLLIN, 0},
                         {reload_.get(), POLLIN, 0},
                         {folderWd_ >= 0 ? inotify_.get() : -1, POLLIN, 0},
                         {mounts_.valid() ? mounts_.fd() : -1, POLLPRI, 0}};
        int n = ::poll(fds, 4, 1000);
        if (n < 0 && errno != EINTR) return;
        if (fds[0].revents) return;
        if (fds[3].revents & (POLLPRI | POLLERR)) followMounts();
        bool asked = fds[1].revents != 0;
        if (asked) drain(reload_.get());
        if (fds[2].revents) {
            alignas(inotify_event) char buffer[4096];
            ssize_t len;
            while ((len = ::read(inotify_.get(), buffer, sizeof buffer)) > 0)
                for (ssize_t pos = 0; pos < len;) {
                    const auto* ev = reinterpret_cast<const inotify_event*>(buffer + pos);
                    pos += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
                    if (ev->mask & IN_IGNORED) folderWd_ = -1;
                }
        }
        // A folder created after start is watched from the next second on;
        // until then, and for changes inotify cannot see, the times are
        // compared every second.
        if (!parts_.options.settingsPath.empty() && folderWd_ < 0) watchFolder();
        if (asked) logLine("reading the settings again on request");
        reloadSettings(asked);
    }
}

}  // namespace qf::index
