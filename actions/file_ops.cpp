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

#include "base/error.h"
#include "base/unique_fd.h"
#include "core/hit.h"

namespace qf {
namespace {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

std::vector<std::string> entryNames(const std::string& dir, std::error_code& ec) {
    std::vector<std::string> names;
    DirHandle d(opendir(dir.c_str()));
    if (!d) {
        ec = lastError();
        return names;
    }
    errno = 0;
    while (dirent* e = readdir(d.get())) {
        std::string_view n = e->d_name;
        if (n != "." && n != "..") names.emplace_back(n);
        errno = 0;
    }
    if (errno != 0) ec = lastError();
    return names;
}

std::error_code copyBytes(int in, int out) {
    // copy_file_range lets the kernel (or a reflink-capable file system) do
    // the work; plain read/write covers the file systems that refuse it.
    for (;;) {
        ssize_t n = copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (n == 0) return {};
        if (n > 0) continue;
        if (errno == EINTR) continue;
        if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) break;
        return lastError();
    }
    std::vector<char> buf(1 << 20);
    for (;;) {
        ssize_t n = read(in, buf.data(), buf.size());
        if (n == 0) return {};
        if (n < 0) {
            if (errno == EINTR) continue;
            return lastError();
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(out, buf.data() + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                return lastError();
            }
            done += w;
        }
    }
}

std::error_code copyFile(const std::string& from, const std::string& to, const struct stat& st) {
    UniqueFd in(open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!in.valid()) return lastError();
    UniqueFd out(open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.valid()) return lastError();
    if (auto ec = copyBytes(in.get(), out.get())) return ec;
    if (fchmod(out.get(), st.st_mode & 07777) != 0) return lastError();
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (futimens(out.get(), times) != 0) return lastError();
    if (out.close() != 0) return lastError();
    return {};
}

std::error_code copyTree(const std::string& from, const std::string& to);

std::error_code copyFolder(const std::string& from, const std::string& to, const struct stat& st) {
    // Owner-only while it fills, so nobody else sees a half-copied folder
    // with the final permissions.
    if (mkdir(to.c_str(), 0700) != 0) return lastError();
    std::error_code ec;
    for (const auto& name : entryNames(from, ec)) {
        if (auto sub = copyTree(joinPath(from, name), joinPath(to, name))) return sub;
    }
    if (ec) return ec;
    if (chmod(to.c_str(), st.st_mode & 07777) != 0) return lastError();
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (utimensat(AT_FDCWD, to.c_str(), times, 0) != 0) return lastError();
    return {};
}

std::error_code copyLink(const std::string& from, const std::string& to, const struct stat& st) {
    std::vector<char> target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    ssize_t n = readlink(from.c_str(), target.data(), target.size());
    if (n < 0) return lastError();
    if (static_cast<size_t>(n) >= target.size()) return errorOf(ENAMETOOLONG);
    target[static_cast<size_t>(n)] = '\0';
    if (symlink(target.data(), to.c_str()) != 0) return lastError();
    const timespec times[2] = {st.st_atim, st.st_mtim};
    utimensat(AT_FDCWD, to.c_str(), times, AT_SYMLINK_NOFOLLOW);  // not every file system keeps link times
    return {};
}

std::error_code copyTree(const std::string& from, const std::string& to) {
    struct stat st {};
    if (lstat(from.c_str(), &st) != 0) return lastError();
    switch (st.st_mode & S_IFMT) {
        case S_IFREG:
            return copyFile(from, to, st);
        case S_IFDIR:
            return copyFolder(from, to, st);
        case S_IFLNK:
            return copyLink(from, to, st);
        case S_IFIFO:
            return mkfifo(to.c_str(), st.st_mode & 07777) == 0 ? std::error_code{} : lastError();
        default:  // sockets and device nodes cannot be copied meaningfully
            return errorOf(EOPNOTSUPP);
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
std::error_code copyIntoPlace(const std::string& from, const std::string& to, bool verify) {
    if (itemExists(to)) return errorOf(EEXIST);
    std::string scratch;
    std::error_code ec;
    for (int attempt = 0; attempt < 8; ++attempt) {
        scratch = scratchPathBeside(to);
        ec = copyTree(from, scratch);
        // EEXIST can only mean another process took the scratch name first;
        // what stands there is theirs, so try another name and leave it.
        if (ec != std::errc::file_exists) break;
    }
    if (ec == std::errc::file_exists) return ec;
    if (!ec && verify && !sameTree(from, scratch)) ec = errorOf(EIO);
    if (!ec) ec = renameNoReplace(scratch, to);
    if (ec) removeTree(scratch);
    return ec;
}

}  // namespace

std::string joinPath(std::string_view folder, std::string_view name) {
    std::string out(folder);
    if (out.empty() || out.back() != '/') out += '/';
    out += name;
    return out;
}

bool itemExists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

bool isStrictlyInside(std::string_view path, std::string_view folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.remove_suffix(1);
    if (folder == "/") return path.size() > 1 && path.front() == '/';
    return path.size() > folder.size() + 1 && path.substr(0, folder.size()) == folder && path[folder.size()] == '/';
}

std::error_code renameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
    const int err = errno;
    if (err != EINVAL && err != ENOSYS && err != EOPNOTSUPP) return errorOf(err);
    // Some file systems do not know the flag (EINVAL, same as moving a
    // folder into itself, which rename() reports again below).
    struct stat st {};
    if (lstat(from.c_str(), &st) != 0) return lastError();
    if (!S_ISDIR(st.st_mode)) {
        // link() never replaces, which makes the check-and-move atomic.
        if (link(from.c_str(), to.c_str()) == 0) {
            if (unlink(from.c_str()) == 0) return {};
            auto ec = lastError();
            unlink(to.c_str());
            return ec;
        }
        if (errno == EEXIST) return lastError();
    }
    if (itemExists(to)) return errorOf(EEXIST);
    return rename(from.c_str(), to.c_str()) == 0 ? std::error_code{} : lastError();
}

std::error_code moveItem(const std::string& from, const std::string& to) {
    if (from == to || isStrictlyInside(to, from)) return errorOf(EINVAL);
    auto ec = renameNoReplace(from, to);
    if (ec.value() != EXDEV) return ec;
    // Removing the original needs write access to its folder; find out
    // before copying anything.
    if (access(containingFolder(from).c_str(), W_OK | X_OK) != 0) return lastError();
    if (auto copied = copyIntoPlace(from, to, true)) return copied;
    return removeTree(from);
}

std::error_code copyItem(const std::string& from, const std::string& to) {
    if (isStrictlyInside(to, from)) return errorOf(EINVAL);
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
            std::error_code ea, eb;
            auto na = entryNames(a, ea);
            auto nb = entryNames(b, eb);
            if (ea || eb) return false;
            std::set<std::string> sa2(na.begin(), na.end()), sb2(nb.begin(), nb.end());
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

std::error_code removeTree(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    return ec;
}

}  // namespace qf
