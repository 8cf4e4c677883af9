#include "actions/trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "actions/file_ops.h"
#include "base/error.h"
#include "base/path_names.h"
#include "base/unique_fd.h"
#include "base/write_all.h"
#include "core/hit.h"

namespace qf {
namespace {

// mkdir -p with the given mode for the folders it creates.
Expected<void> makeFolders(const std::string& path, mode_t mode) {
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) return failedWith(ENOTDIR);
        return {};
    }
    if (path != "/" && !path.empty()) {
        if (auto made = makeFolders(containingFolder(path), mode); !made) return made;
    }
    if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST) return failedWith(errno);
    return {};
}

// A trash folder that is ours: a real folder (not a link) owned by us.
bool isOwnFolder(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid();
}

std::string topOfFileSystem(const std::string& path, dev_t dev) {
    std::string top = path;
    while (top != "/") {
        std::string up = containingFolder(top);
        struct stat st {};
        if (stat(up.c_str(), &st) != 0 || st.st_dev != dev) break;
        top = up;
    }
    return top;
}

Expected<TrashPlace> topTrashFor(const std::string& top) {
    const std::string uid = std::to_string(getuid());
    // An administrator-made $top/.Trash must be a sticky, real folder;
    // anything else there is ignored, as the freedesktop Trash rules demand.
    const std::string shared = joinPath(top, ".Trash");
    struct stat st {};
    if (lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const std::string mine = joinPath(shared, uid);
        if (makeFolders(mine, 0700) && isOwnFolder(mine)) return TrashPlace{mine, top};
    }
    const std::string own = joinPath(top, ".Trash-" + uid);
    if (auto made = makeFolders(own, 0700); !made) return made.error();
    if (!isOwnFolder(own)) return failedWith(EPERM);
    return TrashPlace{own, top};
}

std::string dateText(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &local);
    return buf;
}

// Long names leave room for ".trashinfo" and a counter, cut at a character
// boundary.
std::string trashBaseName(const std::string& name) {
    constexpr size_t kMax = 200;
    if (name.size() <= kMax) return name;
    size_t cut = kMax;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    return name.substr(0, cut);
}

std::string numberedName(const std::string& name, int n) {
    if (n == 1) return name;
    // "photo.jpg" becomes "photo.2.jpg" so the copy still opens the same way.
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return name + "." + std::to_string(n);
    return name.substr(0, dot) + "." + std::to_string(n) + name.substr(dot);
}

}  // namespace

std::string homeTrashFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') return joinPath(data, "Trash");
    const char* home = std::getenv("HOME");
    return joinPath(joinPath(home && home[0] ? home : "/", ".local/share"), "Trash");
}

Expected<TrashPlace> trashPlaceFor(const std::string& path) {
    struct stat item {};
    if (lstat(path.c_str(), &item) != 0) return failedWith(errno);
    const std::string home = homeTrashFolder();
    struct stat homeSt {};
    if (makeFolders(home, 0700) && stat(home.c_str(), &homeSt) == 0 && homeSt.st_dev == item.st_dev) {
        return TrashPlace{home, {}};
    }
    return topTrashFor(topOfFileSystem(containingFolder(path), item.st_dev));
}

std::string percentEncodePath(std::string_view path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '_' || c == '.' || c == '~' || c == '/';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string trashInfoText(std::string_view encodedPath, std::time_t deletedAt) {
    return "[Trash Info]\nPath=" + std::string(encodedPath) + "\nDeletionDate=" + dateText(deletedAt) + "\n";
}

Expected<void> trashInto(const std::string& path, const TrashPlace& place) {
    const std::string files = joinPath(place.folder, "files");
    const std::string info = joinPath(place.folder, "info");
    if (auto made = makeFolders(files, 0700); !made) return made;
    if (auto made = makeFolders(info, 0700); !made) return made;

    std::string recorded = path;
    if (!place.topFolder.empty() && isStrictlyInside(path, place.topFolder)) {
        recorded = path.substr(place.topFolder == "/" ? 1 : place.topFolder.size() + 1);
    }
    const std::string text = trashInfoText(percentEncodePath(recorded), std::time(nullptr));
    const std::string base = trashBaseName(lastPathComponent(path));

    for (int n = 1; n < 10000; ++n) {
        const std::string name = numberedName(base, n);
        const std::string infoPath = joinPath(info, name + ".trashinfo");
        UniqueFd fd(open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!fd.valid()) {
            if (errno == EEXIST) continue;
            return failedWith(errno);
        }
        std::error_code ec = writeAll(fd.get(), text);
        if (!ec && fd.close() != 0) ec = lastError();
        if (ec) {
            unlink(infoPath.c_str());
            return Unexpected{ec};
        }
        auto moved = renameNoReplace(path, joinPath(files, name));
        if (moved) return {};
        unlink(infoPath.c_str());
        if (moved.error() != std::errc::file_exists) return moved;  // a stray entry in files/: try the next name
    }
    return failedWith(EEXIST);
}

Expected<void> moveItemToTrash(const std::string& path) {
    auto place = trashPlaceFor(path);
    if (!place) return place.error();
    // Trashing the trash itself (or an item already in it) would lose it.
    if (path == place->folder || isStrictlyInside(path, place->folder) || isStrictlyInside(place->folder, path)) {
        return failedWith(EINVAL);
    }
    return trashInto(path, *place);
}

}  // namespace qf
