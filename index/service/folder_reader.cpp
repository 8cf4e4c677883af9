#include "index/service/folder_reader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/path_at.h"
#include "index/store/fold.h"

namespace qf::index {
namespace {

struct LinuxDirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

EntryType typeFromMode(mode_t mode) {
    if (S_ISDIR(mode)) return EntryType::dir;
    if (S_ISREG(mode)) return EntryType::file;
    if (S_ISLNK(mode)) return EntryType::symlink;
    return EntryType::other;
}

EntryType typeFromDirent(unsigned char t) {
    switch (t) {
        case DT_DIR:
            return EntryType::dir;
        case DT_REG:
            return EntryType::file;
        case DT_LNK:
            return EntryType::symlink;
        default:
            return EntryType::other;
    }
}

ItemFacts factsFromStatx(const struct statx& sx) {
    ItemFacts f;
    f.type = typeFromMode(sx.stx_mode);
    if (sx.stx_mask & STATX_MTIME) f.mtime = nanoseconds(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
    if (sx.stx_mask & STATX_BTIME) f.btime = nanoseconds(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec);
    f.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    return f;
}

}  // namespace

std::optional<ItemFacts> factsAt(int dirFd, const char* name) {
    struct statx sx {};
    int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC | (name[0] == '\0' ? AT_EMPTY_PATH : 0);
    if (::statx(dirFd, name, flags, STATX_TYPE | STATX_MTIME | STATX_BTIME, &sx) != 0) return std::nullopt;
    return factsFromStatx(sx);
}

std::optional<ItemFacts> factsOfPath(std::string_view path) {
    Expected<PathAt> at = pathAt(path);
    if (!at) {
        errno = at.error().code().value();
        return std::nullopt;
    }
    return factsAt(at->dirFd(), at->rest());
}

std::optional<std::string> nameOfInode(int dirFd, ino_t inode) {
    alignas(8) char buffer[64 * 1024];
    // From the start, whoever read this descriptor before.
    if (::lseek(dirFd, 0, SEEK_SET) != 0) return std::nullopt;
    while (true) {
        long n = ::syscall(SYS_getdents64, dirFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;
        for (long pos = 0; pos < n;) {
            auto* d = reinterpret_cast<LinuxDirent64*>(buffer + pos);
            pos += d->d_reclen;
            const std::string_view name = d->d_name;
            if (d->d_ino == inode && name != "." && name != "..") return std::string(name);
        }
    }
}

bool isPassingErrno(int number) {
    return number == EMFILE || number == ENFILE || number == ENOMEM || number == ENOBUFS || number == EAGAIN ||
           number == EINTR;
}

Expected<std::vector<ListedItem>> readFolder(int dirFd) {
    std::vector<ListedItem> items;
    alignas(8) char buffer[64 * 1024];
    while (true) {
        long n = ::syscall(SYS_getdents64, dirFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Error::lastErrno("cannot list the folder");
        if (n == 0) break;
        for (long pos = 0; pos < n;) {
            auto* d = reinterpret_cast<LinuxDirent64*>(buffer + pos);
            pos += d->d_reclen;
            const char* name = d->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
            std::optional<ItemFacts> facts;
            if (d->d_type == DT_UNKNOWN)
                facts = factsAt(dirFd, name);
            else
                facts = ItemFacts{typeFromDirent(d->d_type)};
            if (!facts) {
                if (errno == ENOENT) continue;
                if (isPassingErrno(errno)) return Error::lastErrno("cannot examine an item");
                facts = ItemFacts{typeFromDirent(d->d_type)};
            }
            ListedItem item;
            item.name = name;
            item.folded = foldName(item.name);
            item.facts = *facts;
            items.push_back(std::move(item));
        }
    }
    return items;
}

Expected<void> readItemFacts(int dirFd, std::vector<ListedItem>& items) {
    int passing = 0;
    std::erase_if(items, [&](ListedItem& item) {
        // Items of unknown type were examined by the listing already.
        if (passing || item.facts.type == EntryType::dir || item.facts.mtime != kNoTime) return false;
        std::optional<ItemFacts> facts = factsAt(dirFd, item.name.c_str());
        if (facts) item.facts = *facts;
        if (!facts && isPassingErrno(errno)) passing = errno;
        return !facts && errno == ENOENT;
    });
    if (passing) return Error::fromErrno(passing, "cannot examine an item");
    return {};
}

}  // namespace qf::index
