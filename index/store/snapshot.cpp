#include "index/store/snapshot.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "base/path_names.h"
#include "base/unique_fd.h"
#include "base/write_all.h"
#include "index/store/checksum.h"

namespace qf::index {
namespace {

constexpr char kMagic[8] = {'Q', 'F', 'I', 'N', 'D', 'E', 'X', '\0'};
// 2: folders carry whether their children stand in name order, which a
// snapshot of version 1 never set, and entries keep a fingerprint of their
// birth time. 3: times to the second with one fingerprint (FileTimes). An
// older snapshot is discarded and the disks crawled afresh once.
constexpr uint32_t kVersion = 3;

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
    uint32_t timesLow;   // FileTimes::bits() in two halves, so that no
    uint32_t timesHigh;  // padding is written (or checksummed)
};
static_assert(sizeof(DiskEntry) == 20);

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
        if (ok_) {
            if (std::error_code ec = writeAll(fd_, buffer_)) {
                ok_ = false;
                error_ = ec.value();
            }
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

}  // namespace

Expected<void> writeSnapshot(const IndexStore& store, const std::string& path) {
    const std::string tmp = path + ".tmp." + std::to_string(::getpid());
    // A file of ours from an earlier save, or anything planted there, goes;
    // O_EXCL then refuses whatever reappears instead of following it.
    ::unlink(tmp.c_str());
    UniqueFd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd) return Error::lastErrno("cannot create " + tmp);
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
        h.foldedBytes += store.foldedName(i).size() + 1ull;
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
        d.foldLen = static_cast<uint16_t>(store.foldedName(i).size());
        d.rawLen = e.rawLen;
        d.type = static_cast<uint8_t>(e.type);
        d.flags = e.flags;
        d.hasRaw = e.rawOff != kNoEntry;
        d.timesLow = static_cast<uint32_t>(e.times.bits());
        d.timesHigh = static_cast<uint32_t>(e.times.bits() >> 32);
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
        Error failure = Error::fromErrno(body.error() ? body.error() : errno, "cannot write " + tmp);
        ::unlink(tmp.c_str());
        return failure;
    }
    fd.reset();
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        Error failure = Error::lastErrno("cannot rename " + tmp);
        ::unlink(tmp.c_str());
        return failure;
    }
    UniqueFd dir(::open(containingFolder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) ::fsync(dir.get());
    return {};
}

int removeStaleSnapshotTemps(const std::string& path) {
    const std::string folder = containingFolder(path);
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
    MappedFile(int fd, size_t size) : size_(size), ok_(true) {
        if (size_ == 0) return;
        void* p = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (p == MAP_FAILED) {
            ok_ = false;
            size_ = 0;
            return;
        }
        data_ = static_cast<char*>(p);
    }
    ~MappedFile() {
        if (data_) ::munmap(data_, size_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    bool ok() const { return ok_; }
    const char* data() const { return data_; }
    size_t size() const { return size_; }

private:
    char* data_ = nullptr;
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

Expected<SnapshotLoad> loadSnapshot(const std::string& path, IndexStore& store) {
    auto corrupt = [](std::string why) { return Error(Errc::badData, std::move(why)); };
    // Never blocks and never follows a link: a FIFO or a device planted at
    // the path is refused before anything is read from it.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT) return SnapshotLoad::missing;
        if (errno == ELOOP) return corrupt("a symbolic link, not followed");
        return Error::lastErrno("cannot open");
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return Error::lastErrno("cannot examine");
    if (!S_ISREG(st.st_mode)) return corrupt("not a regular file");
    const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    // The header alone decides whether the file is worth reading whole.
    Header h{};
    if (fileSize < sizeof h || ::pread(fd.get(), &h, sizeof h, 0) != static_cast<ssize_t>(sizeof h))
        return corrupt("truncated header");
    if (std::string why = headerProblem(h, fileSize); !why.empty()) return corrupt(why);
    MappedFile file(fd.get(), static_cast<size_t>(fileSize));
    if (!file.ok()) return Error::lastErrno("cannot read");
    Header zeroed = h;
    zeroed.checksum = 0;
    Checksum sum;
    sum.update(&zeroed, sizeof zeroed);
    sum.update(file.data() + sizeof h, file.size() - sizeof h);
    if (sum.digest() != h.checksum) return corrupt("checksum mismatch");

    EntryTable entries(h.entryCount);
    const char* p = file.data() + sizeof h;
    uint64_t foldOff = 0;
    for (Entry& e : entries) {
        DiskEntry d{};
        std::memcpy(&d, p, sizeof d);
        p += sizeof d;
        e.parent = d.parent;
        // Lengths that add up past the names' bytes are refused by assign(),
        // unless they first wrap the 32-bit offsets.
        if (foldOff > UINT32_MAX) return corrupt("inconsistent entries");
        e.foldOff = static_cast<uint32_t>(foldOff);
        foldOff += d.foldLen + 1ull;
        e.rawLen = d.rawLen;
        e.type = static_cast<EntryType>(d.type);
        e.flags = d.flags;
        e.rawOff = d.hasRaw ? 0 : kNoEntry;
        e.times = FileTimes::fromBits(uint64_t{d.timesHigh} << 32 | d.timesLow);
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
