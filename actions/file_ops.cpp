#include "actions/file_ops.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "base/path_names.h"
#include "base/unique_fd.h"
#include "core/hit.h"

namespace qf {
namespace {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

Expected<std::vector<std::string>> entryNames(const std::string& dir) {
    std::vector<std::string> names;
    DirHandle d(opendir(dir.c_str()));
    if (!d) return failedWith(errno);
    errno = 0;
    while (dirent* e = readdir(d.get())) {
        std::string_view n = e->d_name;
        if (n != "." && n != "..") names.emplace_back(n);
        errno = 0;
    }
    if (errno != 0) return failedWith(errno);
    return names;
}

Expected<void> copyBytes(int in, int out) {
    // copy_file_range lets the kernel (or a reflink-capable file system) do
    // the work; plain read/write covers the file systems that refuse it.
    for (;;) {
        ssize_t n = copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (n == 0) return {};
        if (n > 0) continue;
        if (errno == EINTR) continue;
        if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) break;
        return failedWith(errno);
    }
    std::vector<char> buf(1 << 20);
    for (;;) {
        ssize_t n = read(in, buf.data(), buf.size());
        if (n == 0) return {};
        if (n < 0) {
            if (errno == EINTR) continue;
            return failedWith(errno);
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(out, buf.data() + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                return failedWith(errno);
            }
            done += w;
        }
    }
}

Expected<void> copyFile(const std::string& from, const std::string& to, const struct stat& st) {
    UniqueFd in(open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!in.valid()) return failedWith(errno);
    UniqueFd out(open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.valid()) return failedWith(errno);
    if (auto copied = copyBytes(in.get(), out.get()); !copied) return copied;
    if (fchmod(out.get(), st.st_mode & 07777) != 0) return failedWith(errno);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (futimens(out.get(), times) != 0) return failedWith(errno);
    if (out.close() != 0) return failedWith(errno);
    return {};
}

Expected<void> copyTree(const std::string& from, const std::string& to);

Expected<void> copyFolder(const std::string& from, const std::string& to, const struct stat& st) {
    // Owner-only while it fills, so nobody else sees a half-copied folder
    // with the final permissions.
    if (mkdir(to.c_str(), 0700) != 0) return failedWith(errno);
    const auto names = entryNames(from);
    if (!names) return names.error();
    for (const auto& name : *names) {
        if (auto copied = copyTree(joinPath(from, name), joinPath(to, name)); !copied) return copied;
    }
    if (chmod(to.c_str(), st.st_mode & 07777) != 0) return failedWith(errno);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (utimensat(AT_FDCWD, to.c_str(), times, 0) != 0) return failedWith(errno);
    return {};
}

Expected<void> copyLink(const std::string& from, const std::string& to, const struct stat& st) {
    std::vector<char> target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    ssize_t n = readlink(from.c_str(), target.data(), target.size());
    if (n < 0) return failedWith(errno);
    if (static_cast<size_t>(n) >= target.size()) return failedWith(ENAMETOOLONG);
    target[static_cast<size_t>(n)] = '\0';
    if (symlink(target.data(), to.c_str()) != 0) return failedWith(errno);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    utimensat(AT_FDCWD, to.c_str(), times, AT_SYMLINK_NOFOLLOW);  // not every file system keeps link times
    return {};
}

Expected<void> copyTree(const std::string& from, const std::string& to) {
    struct stat st {};
    if (lstat(from.c_str(), &st) != 0) return failedWith(errno);
    switch (st.st_mode & S_IFMT) {
        case S_IFREG:
            return copyFile(from, to, st);
        case S_IFDIR:
            return copyFolder(from, to, st);
        case S_IFLNK:
            return copyLink(from, to, st);
        case S_IFIFO:
            if (mkfifo(to.c_str(), st.st_mode & 07777) != 0) return failedWith(errno);
            return {};
        default:  // sockets and device nodes cannot be copied meaningfully
            return failedWith(EOPNOTSUPP);
    }
}

bool sameContent(const std::string& a, const std::string& b) {
    UniqueFd fa(open(a.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    UniqueFd fb(open(b.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fa.valid() || !fb.valid()) return false;
    std::vector<char> ba(1 << 20), bb(1 << 20);
    for (;;) {
        ssize_t na = read(fa.get(), ba.data(), ba.size());
        if (na < 0) return false;
        // Fill the second buffer to the same length (short reads happen).
        ssize_t nb = 0;
        while (nb < na) {
            ssize_t r = read(fb.get(), bb.data() + nb, static_cast<size_t>(na - nb));
            if (r <= 0) return false;
            nb += r;
        }
        if (na == 0) return read(fb.get(), bb.data(), 1) == 0;
        if (std::memcmp(ba.data(), bb.data(), static_cast<size_t>(na)) != 0) return false;
    }
}

std::string linkTarget(const std::string& path) {
    std::vector<char> buf(4096);
    ssize_t n = readlink(path.c_str(), buf.data(), buf.size());
    return n < 0 ? std::string() : std::string(buf.data(), static_cast<size_t>(n));
}

// A hidden name beside the destination that nothing uses yet.
std::string scratchPathBeside(const std::string& to) {
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    const std::string folder = containingFolder(to);
    for (;;) {
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, ".quillfind-copy-%016llx", static_cast<unsigned long long>(rng()));
        std::string candidate = joinPath(folder, suffix);
        if (!itemExists(candidate)) return candidate;
    }
}

// Copies to a scratch name, optionally compares, then renames into place.
Expected<void> copyIntoPlace(const std::string& from, const std::string& to, bool verify) {
    if (itemExists(to)) return failedWith(EEXIST);
    std::string scratch;
    Expected<void> done;
    for (int attempt = 0; attempt < 8; ++attempt) {
        scratch = scratchPathBeside(to);
        done = copyTree(from, scratch);
        // EEXIST can only mean another process took the scratch name first;
        // what stands there is theirs, so try another name and leave it.
        if (done || done.error() != std::errc::file_exists) break;
    }
    if (!done && done.error() == std::errc::file_exists) return done;
    if (done && verify && !sameTree(from, scratch)) done = failedWith(EIO);
    if (done) done = renameNoReplace(scratch, to);
    if (!done) (void)removeTree(scratch);
    return done;
}

}  // namespace

bool itemExists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

Expected<void> renameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
    const int err = errno;
    if (err != EINVAL && err != ENOSYS && err != EOPNOTSUPP) return failedWith(err);
    // Some file systems do not know the flag (EINVAL, same as moving a
    // folder into itself, which rename() reports again below).
    struct stat st {};
    if (lstat(from.c_str(), &st) != 0) return failedWith(errno);
    if (!S_ISDIR(st.st_mode)) {
        // link() never replaces, which makes the check-and-move atomic.
        if (link(from.c_str(), to.c_str()) == 0) {
            if (unlink(from.c_str()) == 0) return {};
            const int unlinkError = errno;
            unlink(to.c_str());
            return failedWith(unlinkError);
        }
        if (errno == EEXIST) return failedWith(EEXIST);
    }
    if (itemExists(to)) return failedWith(EEXIST);
    if (rename(from.c_str(), to.c_str()) != 0) return failedWith(errno);
    return {};
}

Expected<void> moveItem(const std::string& from, const std::string& to) {
    if (from == to || isStrictlyInside(to, from)) return failedWith(EINVAL);
    auto renamed = renameNoReplace(from, to);
    if (renamed || renamed.error() != std::errc::cross_device_link) return renamed;
    // Removing the original needs write access to its folder; find out
    // before copying anything.
    if (access(containingFolder(from).c_str(), W_OK | X_OK) != 0) return failedWith(errno);
    if (auto copied = copyIntoPlace(from, to, true); !copied) return copied;
    return removeTree(from);
}

Expected<void> copyItem(const std::string& from, const std::string& to) {
    if (isStrictlyInside(to, from)) return failedWith(EINVAL);
    return copyIntoPlace(from, to, false);
}

bool sameTree(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (lstat(a.c_str(), &sa) != 0 || lstat(b.c_str(), &sb) != 0) return false;
    if ((sa.st_mode & S_IFMT) != (sb.st_mode & S_IFMT)) return false;
    switch (sa.st_mode & S_IFMT) {
        case S_IFREG:
            return sa.st_size == sb.st_size && sameContent(a, b);
        case S_IFLNK:
            return linkTarget(a) == linkTarget(b);
        case S_IFDIR: {
            const auto na = entryNames(a), nb = entryNames(b);
            if (!na || !nb) return false;
            std::set<std::string> sa2(na->begin(), na->end()), sb2(nb->begin(), nb->end());
            if (sa2 != sb2) return false;
            for (const auto& n : sa2) {
                if (!sameTree(joinPath(a, n), joinPath(b, n))) return false;
            }
            return true;
        }
        default:
            return true;
    }
}

Expected<void> removeTree(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    if (ec) return Unexpected{ec};
    return {};
}

}  // namespace qf
