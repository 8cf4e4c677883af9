#include "index/service/fanotify_watch.h"

#include <fcntl.h>
#include <sys/fanotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "index/service/folder_reader.h"

namespace qf::index {
namespace {

constexpr uint64_t kMask =
    FAN_CREATE | FAN_DELETE | FAN_MOVED_FROM | FAN_MOVED_TO | FAN_ATTRIB | FAN_MODIFY | FAN_CLOSE_WRITE | FAN_ONDIR;

std::string fsidKey(const fsid_t& fsid) { return std::string(reinterpret_cast<const char*>(&fsid), sizeof fsid); }

// Changes name their folder by file handle; without the right to open
// handles (CAP_DAC_READ_SEARCH) they could not be placed.
bool canOpenHandles(int dirFd) {
    struct {
        file_handle header;
        unsigned char bytes[MAX_HANDLE_SZ];
    } handle{};
    handle.header.handle_bytes = MAX_HANDLE_SZ;
    int mountId = 0;
    if (::name_to_handle_at(dirFd, "", &handle.header, &mountId, AT_EMPTY_PATH) != 0) return false;
    UniqueFd opened(::open_by_handle_at(dirFd, &handle.header, O_PATH | O_CLOEXEC));
    return opened.valid();
}

std::optional<std::string> pathOf(int fd) {
    char path[4096];
    std::string link = "/proc/self/fd/" + std::to_string(fd);
    ssize_t n = ::readlink(link.c_str(), path, sizeof path);
    if (n <= 0 || n == static_cast<ssize_t>(sizeof path) || path[0] != '/') return std::nullopt;
    return std::string(path, static_cast<size_t>(n));
}

// The path of an open folder, of any length. /proc names a folder only
// while its path fits in a page; a deeper one is named from its nearest
// ancestor that fits, each name on the way down found in its parent by
// inode number. Nothing when the way up leaves the file system.
std::optional<std::string> folderPathOf(int fd) {
    std::vector<std::string> below;
    UniqueFd current(::openat(fd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    while (current) {
        if (std::optional<std::string> path = pathOf(current.get())) {
            for (auto name = below.rbegin(); name != below.rend(); ++name) *path += "/" + *name;
            return path;
        }
        UniqueFd parent(::openat(current.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat self {
        }, up{};
        if (!parent || ::fstat(current.get(), &self) != 0 || ::fstat(parent.get(), &up) != 0 ||
            up.st_dev != self.st_dev || up.st_ino == self.st_ino)
            return std::nullopt;
        std::optional<std::string> name = nameOfInode(parent.get(), self.st_ino);
        if (!name) return std::nullopt;
        below.push_back(std::move(*name));
        current = std::move(parent);
    }
    return std::nullopt;
}

// A folder key is the file-system id followed by the folder's file handle.
std::optional<std::string> keyOf(const fanotify_event_info_fid& info, const char* end, const char** name) {
    const auto* handle = reinterpret_cast<const file_handle*>(info.handle);
    const char* bytes = reinterpret_cast<const char*>(handle);
    if (bytes + sizeof(file_handle) > end) return std::nullopt;
    const char* handleEnd = bytes + sizeof(file_handle) + handle->handle_bytes;
    if (handleEnd > end) return std::nullopt;
    *name = handleEnd;
    std::string key(reinterpret_cast<const char*>(&info.fsid), sizeof info.fsid);
    key.append(bytes, handleEnd);
    return key;
}

}  // namespace

FanotifyWatch::FanotifyWatch() {
    fd_.reset(
        ::fanotify_init(FAN_CLASS_NOTIF | FAN_REPORT_DFID_NAME | FAN_CLOEXEC | FAN_NONBLOCK, O_RDONLY | O_CLOEXEC));
}

bool FanotifyWatch::cover(int dirFd, dev_t device) {
    std::lock_guard lock(mutex_);
    if (covered_.count(device)) return true;
    if (refused_.count(device) || !fd_) return false;
    struct statfs fs {};
    std::optional<std::string> anchor = pathOf(dirFd);
    if (!anchor || ::fstatfs(dirFd, &fs) != 0 || !canOpenHandles(dirFd) ||
        ::fanotify_mark(fd_.get(), FAN_MARK_ADD | FAN_MARK_FILESYSTEM, kMask, dirFd, nullptr) != 0) {
        // Short of descriptors or memory for a moment, the next folder
        // of this file system asks again.
        if (!isPassingErrno(errno)) refused_.insert(device);
        return false;
    }
    covered_.insert(device);
    anchors_.insert_or_assign(fsidKey(fs.f_fsid), Anchor{std::move(*anchor), device});
    return true;
}

size_t FanotifyWatch::fileSystems() const {
    std::lock_guard lock(mutex_);
    return covered_.size();
}

void FanotifyWatch::forget(dev_t device) {
    std::lock_guard lock(mutex_);
    covered_.erase(device);
    refused_.erase(device);
    std::erase_if(anchors_, [&](const auto& a) { return a.second.device == device; });
}

std::vector<FanotifyWatch::Change> FanotifyWatch::read(bool& overflow) {
    std::vector<Change> changes;
    alignas(fanotify_event_metadata) char buffer[64 * 1024];
    // Changes anywhere on a busy file system arrive here; a bounded share per
    // call keeps the caller responsive.
    for (int reads = 0; reads < 16; ++reads) {
        ssize_t n = ::read(fd_.get(), buffer, sizeof buffer);
        if (n <= 0) break;
        const char* end = buffer + n;
        // An event that carries a name is padded to four bytes only, so the
        // next event's header (which holds a 64-bit mask) may sit misaligned:
        // each header is copied out rather than read in place.
        fanotify_event_metadata ev{};
        for (const char* at = buffer; end - at >= static_cast<ssize_t>(sizeof ev); at += ev.event_len) {
            std::memcpy(&ev, at, sizeof ev);
            if (ev.event_len < sizeof ev || ev.event_len > static_cast<size_t>(end - at)) break;
            if (ev.vers != FANOTIFY_METADATA_VERSION) continue;
            if (ev.fd >= 0) ::close(ev.fd);
            if (ev.mask & FAN_Q_OVERFLOW) {
                overflow = true;
                continue;
            }
            const char* record = at + ev.metadata_len;
            const char* recordsEnd = at + ev.event_len;
            while (record + sizeof(fanotify_event_info_header) <= recordsEnd) {
                const auto* header = reinterpret_cast<const fanotify_event_info_header*>(record);
                if (header->len == 0) break;
                const char* next = record + header->len;
                bool withName = header->info_type == FAN_EVENT_INFO_TYPE_DFID_NAME;
                if (next <= recordsEnd && (withName || header->info_type == FAN_EVENT_INFO_TYPE_DFID)) {
                    const char* name = nullptr;
                    auto key = keyOf(*reinterpret_cast<const fanotify_event_info_fid*>(record), next, &name);
                    if (key) {
                        Change c{static_cast<uint32_t>(ev.mask), std::move(*key), {}};
                        if (withName) c.name.assign(name, ::strnlen(name, static_cast<size_t>(next - name)));
                        if (c.name == ".") c.name.clear();
                        changes.push_back(std::move(c));
                    }
                }
                record = next;
            }
        }
    }
    return changes;
}

std::optional<std::string> FanotifyWatch::folderPath(const std::string& folderKey) const {
    if (folderKey.size() < sizeof(fsid_t) + sizeof(file_handle)) return std::nullopt;
    std::string anchorPath;
    {
        std::lock_guard lock(mutex_);
        auto it = anchors_.find(folderKey.substr(0, sizeof(fsid_t)));
        if (it == anchors_.end()) return std::nullopt;
        anchorPath = it->second.path;
    }
    // Opened for each lookup: a descriptor kept open would keep the disk
    // from being unmounted. open_by_handle_at refuses O_PATH descriptors.
    UniqueFd anchor(::open(anchorPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Once the disk is unmounted the anchor path leads to another file
    // system, where the same handle may name an unrelated folder.
    struct statfs fs {};
    if (!anchor || ::fstatfs(anchor.get(), &fs) != 0 || fsidKey(fs.f_fsid) != folderKey.substr(0, sizeof(fsid_t)))
        return std::nullopt;
    // The handle is copied so that it is suitably aligned.
    std::vector<char> handle(folderKey.begin() + sizeof(fsid_t), folderKey.end());
    UniqueFd folder(::open_by_handle_at(anchor.get(), reinterpret_cast<file_handle*>(handle.data()),
                                        O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder) return std::nullopt;
    // A removed folder has no path any more; its changes no longer matter.
    struct stat st {};
    if (::fstat(folder.get(), &st) != 0 || st.st_nlink == 0) return std::nullopt;
    return folderPathOf(folder.get());
}

}  // namespace qf::index
