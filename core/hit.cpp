#include "core/hit.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <mutex>
#include <unordered_map>

#include <QLocale>
#include <QMimeDatabase>
#include <QMimeType>
#include <QString>
#include <algorithm>

#include "core/text.h"

namespace qf {

namespace {

Date toDate(const struct statx_timestamp& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

Date toDate(const struct timespec& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9; }

// RFC 3986 path characters that a file URL carries unencoded.
bool keptInUrlPath(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("-._~!$&'()*+,;=:@/").find(static_cast<char>(c)) != std::string_view::npos;
}

std::string pathExtension(std::string_view name) {
    const auto dot = name.rfind('.');
    // A name whose only period leads it (.profile) is a hidden file, not an extension.
    if (dot == std::string_view::npos || dot == 0) return {};
    return std::string(name.substr(dot + 1));
}

StatInfo fromLstat(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return {};
    StatInfo info;
    info.isDir = S_ISDIR(st.st_mode);
    info.size = info.isDir ? -1 : static_cast<std::int64_t>(st.st_size);
    info.mtime = toDate(st.st_mtim);
    return info;
}

}  // namespace

Hit::Hit(std::string path, std::string name, bool isDir, std::int64_t size, std::optional<Date> modified,
         std::optional<Date> created, std::string kind)
    : path_(std::move(path)),
      name_(std::move(name)),
      isDir_(isDir),
      size_(size),
      modified_(modified),
      created_(created),
      kind_(std::move(kind)) {}

std::string Hit::url() const {
    static const char hex[] = "0123456789ABCDEF";
    std::string out = "file://";
    for (unsigned char c : path_) {
        if (keptInUrlPath(c)) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 0xF]);
        }
    }
    return out;
}

StatInfo lstatInfo(const std::string& path) {
    // A path with a NUL inside names nothing that can be examined.
    if (path.find('\0') != std::string::npos) return {};
    struct statx stx {};
    const int rc = ::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &stx);
    if (rc != 0) {
        if (errno == ENOSYS) return fromLstat(path);
        return {};
    }
    StatInfo info;
    info.isDir = S_ISDIR(stx.stx_mode);
    info.size = info.isDir ? -1 : static_cast<std::int64_t>(stx.stx_size);
    info.mtime = toDate(stx.stx_mtime);
    // Not every file system records when a file was born.
    if (stx.stx_mask & STATX_BTIME) info.btime = toDate(stx.stx_btime);
    return info;
}

namespace {

// The MIME database lacks a Chinese description for a few dozen types
// (desktop entries, TOML, man pages); Qt then answers in English, which in a
// Chinese window is no description the user reads.
bool inTheUserLanguage(const QString& description) {
    if (QLocale().language() != QLocale::Chinese) return true;
    return std::any_of(description.begin(), description.end(), [](QChar c) { return c.script() == QChar::Script_Han; });
}

std::string kindOfExtension(const std::string& ext) {
    const QMimeDatabase db;
    const auto types = db.mimeTypesForFileName(QStringLiteral("x.") + QString::fromStdString(ext));
    for (const QMimeType& type : types) {
        if (type.isDefault() || type.name().startsWith(QLatin1String("inode/"))) continue;
        const QString comment = type.comment();
        if (!comment.isEmpty() && inTheUserLanguage(comment)) return comment.toStdString();
    }
    return upperCase(ext);
}

}  // namespace

std::string kindOf(std::string_view path, bool isDir) {
    if (isDir) return "文件夹";
    const std::string ext = pathExtension(lastPathComponent(path));
    if (ext.empty()) return "文件";
    // A search turns up a thousand hits with a handful of extensions, and a
    // type lookup costs far more than a map lookup. The cache is never
    // destroyed: background workers may still ask while the program's
    // statics are being torn down at exit.
    struct KindCache {
        std::mutex lock;
        std::unordered_map<std::string, std::string> known;
    };
    static KindCache* const cache = new KindCache();
    {
        std::lock_guard guard(cache->lock);
        if (const auto it = cache->known.find(ext); it != cache->known.end()) return it->second;
    }
    std::string kind = kindOfExtension(ext);
    std::lock_guard guard(cache->lock);
    if (cache->known.size() < 4096) cache->known.emplace(ext, kind);
    return kind;
}

Hit hitForPath(const std::string& path) {
    std::string name = lastPathComponent(path);
    const StatInfo info = lstatInfo(path);
    std::string kind = kindOf(name, info.isDir);
    return Hit(path, std::move(name), info.isDir, info.size, info.mtime, info.btime, std::move(kind));
}

}  // namespace qf
