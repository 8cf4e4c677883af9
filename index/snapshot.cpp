#include "snapshot.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "base/unique_fd.h"
#include "checksum.h"

namespace qf::index {
namespace {

constexpr char kMagic[8] = {'Q', 'F', 'I', 'N', 'D', 'E', 'X', '\0'};
// 2: folders carry whether their children stand in name order, which a
// snapshot of version 1 never set, and entries keep a fingerprint of their
// birth time; a snapshot of version 1 is crawled afresh once.
constexpr uint32_t kVersion = 2;

struct Header {
    char magic[8];
    uint32_t version;
    uint32_t entrySize;
    uint64_t entryCount;
    uint64_t foldedBytes;
    uint64_t rawBytes;
    uint64_t checksum;  // of the header with this field zero, then the body
};
static_assert(sizeof(Header) == 48);

struct DiskEntry {
    uint32_t parent;
    uint16_t foldLen;
    uint16_t rawLen;
    uint8_t type;
    uint8_t flags;
    uint8_t hasRaw;
    uint8_t reserved;
    uint32_t birth;
    int64_t mtime;
};
static_assert(sizeof(DiskEntry) == 24);

// Buffered writer that checksums what it writes.
class SnapshotWriter {
public:
    explicit SnapshotWriter(int fd) : fd_(fd) { buffer_.reserve(kBuffer); }
    void write(const void* data, size_t size) {
        checksum_.update(data, size);
        const char* p = static_cast<const char*>(data);
        buffer_.append(p, size);
        if (buffer_.size() >= kBuffer) flush();
    }
    bool flush() {
        size_t done = 0;
        while (ok_ && done < buffer_.size()) {
            ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ok_ = false;
                error_ = errno;
                break;
            }
            done += static_cast<size_t>(n);
        }
        buffer_.clear();
        return ok_;
    }
    bool ok() const { return ok_; }
    int error() const { return error_; }
    uint64_t digest() const { return checksum_.digest(); }

private:
    static constexpr size_t kBuffer = 1 << 20;
    int fd_;
    std::string buffer_;
    Checksum checksum_;
    bool ok_ = true;
    int error_ = 0;
};

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool writeSnapshot(const IndexStore& store, const std::string& path, std::string* error) {
    const std::string tmp = path + ".tmp." + std::to_string(::getpid());
    // A file of ours from an earlier save, or anything planted there, goes;
    // O_EXCL then refuses whatever reappears instead of following it.
    ::unlink(tmp.c_str());
    UniqueFd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd) {
        if (error) *error = "cannot create " + tmp + ": " + std::strerror(errno);
        return false;
    }
    // Only live entries are written; parents keep preceding their children.
    std::vector<uint32_t> remap(store.size(), kNoEntry);
    Header h{};
    std::memcpy(h.magic, kMagic, sizeof kMagic);
    h.version = kVersion;
    h.entrySize = sizeof(DiskEntry);
    for (uint32_t i = 0; i < store.size(); ++i) {
        const Entry& e = store.at(i);
        if (!e.alive()) continue;
        remap[i] = static_cast<uint32_t>(h.entryCount++);
        h.foldedBytes += e.foldLen + 1ull;
        if (e.rawOff != kNoEntry) h.rawBytes += e.rawLen;
    }
    // Reserve the header; it is rewritten with its checksum at the end.
    SnapshotWriter body(fd.get());
    body.write(&h, sizeof h);
    for (uint32_t i = 0; i < store.size(); ++i) {
        const Entry& e = store.at(i);
        if (!e.alive()) continue;
        DiskEntry d{};
        d.parent = e.parent == kNoEntry ? kNoEntry : remap[e.parent];
        d.foldLen = e.foldLen;
        d.rawLen = e.rawLen;
        d.type = static_cast<uint8_t>(e.type);
        d.flags = e.flags;
        d.hasRaw = e.rawOff != kNoEntry;
        d.mtime = e.mtime;
        d.birth = e.birth;
        body.write(&d, sizeof d);
    }
    for (uint32_t i = 0; i < store.size(); ++i)
        if (store.at(i).alive()) {
            std::string_view f = store.foldedName(i);
            body.write(f.data(), f.size());
            body.write("", 1);
        }
    for (uint32_t i = 0; i < store.size(); ++i)
        if (store.at(i).alive() && store.at(i).rawOff != kNoEntry) {
            std::string_view r = store.rawName(i);
            body.write(r.data(), r.size());
        }
    bool ok = body.flush();
    // The checksum covers the header written with a zero checksum field.
    h.checksum = body.digest();
    ok = ok && ::pwrite(fd.get(), &h, sizeof h, 0) == static_cast<ssize_t>(sizeof h);
    ok = ok && ::fsync(fd.get()) == 0;
    if (!ok) {
        if (error) *error = "cannot write " + tmp + ": " + std::strerror(body.error() ? body.error() : errno);
        ::unlink(tmp.c_str());
        return false;
    }
    fd.reset();
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        if (error) *error = "cannot rename " + tmp + ": " + std::strerror(errno);
        ::unlink(tmp.c_str());
        return false;
    }
    UniqueFd dir(::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) ::fsync(dir.get());
    return true;
}

int removeStaleSnapshotTemps(const std::string& path) {
    const std::string folder = folderOf(path);
    const std::string prefix = path.substr(path.rfind('/') + 1) + ".tmp.";
    UniqueFd dirFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dirFd) return 0;
    DIR* dir = ::fdopendir(dirFd.get());
    if (!dir) return 0;
    static_cast<void>(dirFd.release());  // closedir closes it from here on
    std::vector<std::string> stale;
    while (dirent* d = ::readdir(dir))
        if (std::string_view(d->d_name).starts_with(prefix) && d->d_type != DT_DIR) stale.emplace_back(d->d_name);
    int removed = 0;
    for (const std::string& name : stale)
        if (::unlinkat(::dirfd(dir), name.c_str(), 0) == 0) ++removed;
    ::closedir(dir);
    return removed;
}

// A read-only view of a whole file, mapped and read ahead in one go.
class MappedFile {
public:
    MappedFile(int fd, size_t size) : size_(size) {
        ok_ = true;
        if (size_ == 0) return;
        void* p = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (p == MAP_FAILED) {
            ok_ = false;
            size_ = 0;
            return;
        }
        data_ = static_cast<const char*>(p);
    }
    ~MappedFile() {
        if (data_) ::munmap(const_cast<char*>(data_), size_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    bool ok() const { return ok_; }
    const char* data() const { return data_; }
    size_t size() const { return size_; }

private:
    const char* data_ = nullptr;
    size_t size_ = 0;
    bool ok_ = false;
};

namespace {

// Why a header cannot describe a snapshot of `fileSize` bytes, or empty.
std::string headerProblem(const Header& h, uint64_t fileSize) {
    if (std::memcmp(h.magic, kMagic, sizeof kMagic) != 0) return "not a snapshot";
    if (h.version != kVersion) return "version " + std::to_string(h.version) + " is not supported";
    if (h.entrySize != sizeof(DiskEntry)) return "unexpected entry size";
    const uint64_t limit = fileSize;
    if (h.entryCount > limit / sizeof(DiskEntry) || h.foldedBytes > limit || h.rawBytes > limit ||
        sizeof(Header) + h.entryCount * sizeof(DiskEntry) + h.foldedBytes + h.rawBytes != limit)
        return "truncated or oversized body";
    if (h.entryCount >= kNoEntry || h.foldedBytes >= UINT32_MAX || h.rawBytes >= UINT32_MAX) return "too many entries";
    return {};
}

}  // namespace

SnapshotLoad loadSnapshot(const std::string& path, IndexStore& store, std::string* error) {
    auto corrupt = [&](const std::string& why) {
        if (error) *error = why;
        return SnapshotLoad::corrupt;
    };
    // Never blocks and never follows a link: a FIFO or a device planted at
    // the path is refused before anything is read from it.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT) return SnapshotLoad::missing;
        if (errno == ELOOP) return corrupt("a symbolic link, not followed");
        return corrupt(std::string("cannot open: ") + std::strerror(errno));
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return corrupt(std::string("cannot examine: ") + std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return corrupt("not a regular file");
    const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    // The header alone decides whether the file is worth reading whole.
    Header h;
    if (fileSize < sizeof h || ::pread(fd.get(), &h, sizeof h, 0) != static_cast<ssize_t>(sizeof h))
        return corrupt("truncated header");
    if (std::string why = headerProblem(h, fileSize); !why.empty()) return corrupt(why);
    MappedFile file(fd.get(), static_cast<size_t>(fileSize));
    if (!file.ok()) return corrupt("cannot read");
    Header zeroed = h;
    zeroed.checksum = 0;
    Checksum sum;
    sum.update(&zeroed, sizeof zeroed);
    sum.update(file.data() + sizeof h, file.size() - sizeof h);
    if (sum.digest() != h.checksum) return corrupt("checksum mismatch");

    EntryTable entries(h.entryCount);
    const char* p = file.data() + sizeof h;
    for (Entry& e : entries) {
        DiskEntry d;
        std::memcpy(&d, p, sizeof d);
        p += sizeof d;
        e.parent = d.parent;
        e.foldLen = d.foldLen;
        e.rawLen = d.rawLen;
        e.type = static_cast<EntryType>(d.type);
        e.flags = d.flags;
        e.rawOff = d.hasRaw ? 0 : kNoEntry;
        e.mtime = d.mtime;
        e.birth = d.birth;
    }
    Arena folded(p, h.foldedBytes);
    p += h.foldedBytes;
    Arena raw(p, h.rawBytes);
    IndexStore loaded;
    if (!loaded.assign(std::move(entries), std::move(folded), std::move(raw))) return corrupt("inconsistent entries");
    store = std::move(loaded);
    return SnapshotLoad::loaded;
}

}  // namespace qf::index
