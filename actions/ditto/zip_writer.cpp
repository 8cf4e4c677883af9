#include "actions/ditto/zip_writer.h"

#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "actions/file_ops.h"
#include "base/path_names.h"
#include "base/unique_fd.h"
#include "base/utf8.h"
#include "core/hit.h"

namespace qf::ditto {
namespace {

struct ArchiveDeleter {
    void operator()(archive* a) const { archive_write_free(a); }
};
struct EntryDeleter {
    void operator()(archive_entry* e) const { archive_entry_free(e); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveDeleter>;
using EntryPtr = std::unique_ptr<archive_entry, EntryDeleter>;

Error failure(const std::string& what, int err) { return Error::fromErrno(err, what); }
// The library's own text; with the errno behind it when it names one.
Error archiveFailure(archive* a) {
    const char* msg = archive_error_string(a);
    std::string text = msg ? msg : "archive error";
    const int err = archive_errno(a);
    return err > 0 ? Error::fromErrno(err, std::move(text)) : Error(Errc::badData, std::move(text));
}

// libarchive marks a name that is not plain ASCII as UTF-8 exactly when the
// writing thread's character set is UTF-8, and stores the name's bytes as
// they are. A name that is not valid UTF-8 must not carry that mark: readers
// would replace its stray bytes, and two such names would become one. So each
// header is written under the character set that fits its own name.
class NameCharset {
public:
    NameCharset()
        : utf8_(newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr)),
          plain_(newlocale(LC_CTYPE_MASK, "C", nullptr)),
          before_(uselocale(nullptr)) {}
    ~NameCharset() {
        uselocale(before_);
        if (utf8_) freelocale(utf8_);
        if (plain_) freelocale(plain_);
    }
    NameCharset(const NameCharset&) = delete;
    NameCharset& operator=(const NameCharset&) = delete;

    bool usable() const { return utf8_ && plain_; }
    void chooseFor(std::string_view name) { uselocale(isValidUtf8(name) ? utf8_ : plain_); }

private:
    locale_t utf8_;
    locale_t plain_;
    locale_t before_;
};

class ZipBuilder {
public:
    ZipBuilder(archive* a, dev_t skipDev, ino_t skipIno) : a_(a), skipDev_(skipDev), skipIno_(skipIno) {}

    Expected<void> add(const std::string& path, const std::string& entryName) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0) return failure(path, errno);
        if (st.st_dev == skipDev_ && st.st_ino == skipIno_) return {};
        const auto type = st.st_mode & S_IFMT;
        if (type != S_IFREG && type != S_IFDIR && type != S_IFLNK) {
            return {};  // sockets, FIFOs and devices have no place in a zip
        }
        EntryPtr entry(archive_entry_new());
        archive_entry_copy_stat(entry.get(), &st);
        archive_entry_copy_pathname(entry.get(), entryName.c_str());
        if (type == S_IFLNK) {
            std::vector<char> target(4096);
            const ssize_t n = readlink(path.c_str(), target.data(), target.size() - 1);
            if (n < 0) return failure(path, errno);
            target[static_cast<size_t>(n)] = '\0';
            archive_entry_copy_symlink(entry.get(), target.data());
            archive_entry_set_size(entry.get(), 0);
        }
        if (type == S_IFDIR) archive_entry_set_size(entry.get(), 0);

        UniqueFd in;
        if (type == S_IFREG) {
            // Opened before the header goes out, so an unreadable file does
            // not leave a header without data.
            in = UniqueFd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
            if (!in.valid()) return failure(path, errno);
        }
        charset_.chooseFor(entryName);
        if (archive_write_header(a_, entry.get()) != ARCHIVE_OK) return archiveFailure(a_);
        if (type == S_IFREG) {
            if (auto out = copyData(in.get(), path); !out) return out;
        }
        if (archive_write_finish_entry(a_) < ARCHIVE_WARN) return archiveFailure(a_);
        if (type == S_IFDIR) return addChildren(path, entryName);
        return {};
    }

    bool namesStorable() const { return charset_.usable(); }

private:
    Expected<void> copyData(int fd, const std::string& path) {
        std::vector<char> buf(1 << 20);
        for (;;) {
            const ssize_t n = read(fd, buf.data(), buf.size());
            if (n == 0) return {};
            if (n < 0) {
                if (errno == EINTR) continue;
                return failure(path, errno);
            }
            if (archive_write_data(a_, buf.data(), static_cast<size_t>(n)) < 0) return archiveFailure(a_);
        }
    }

    Expected<void> addChildren(const std::string& path, const std::string& entryName) {
        std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(path.c_str()), closedir);
        if (!dir) return failure(path, errno);
        std::vector<std::string> names;
        // A listing cut short by an error would give an archive that lacks
        // items and looks complete.
        errno = 0;
        while (dirent* e = readdir(dir.get())) {
            const std::string_view n = e->d_name;
            if (n != "." && n != "..") names.emplace_back(n);
            errno = 0;
        }
        if (errno != 0) return failure(path, errno);
        std::sort(names.begin(), names.end());  // the same tree always gives the same archive
        for (const auto& n : names) {
            std::string childEntry = entryName;
            childEntry.append("/").append(n);
            if (auto out = add(joinPath(path, n), childEntry); !out) return out;
        }
        return {};
    }

    archive* a_;
    NameCharset charset_;
    dev_t skipDev_;
    ino_t skipIno_;
};

}  // namespace

Expected<void> writeZip(int fd, const std::string& source, dev_t skipDev, ino_t skipIno) {
    ArchivePtr a(archive_write_new());
    if (archive_write_set_format_zip(a.get()) != ARCHIVE_OK) return archiveFailure(a.get());
    if (archive_write_open_fd(a.get(), fd) != ARCHIVE_OK) return archiveFailure(a.get());
    ZipBuilder builder(a.get(), skipDev, skipIno);
    if (!builder.namesStorable()) return Error(Errc::unavailable, "no C.UTF-8 locale to store names with");
    if (auto out = builder.add(source, lastPathComponent(source)); !out) return out;
    if (archive_write_close(a.get()) != ARCHIVE_OK) return archiveFailure(a.get());
    return {};
}

}  // namespace qf::ditto
