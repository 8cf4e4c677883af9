#include "base/path_names.h"

namespace qf {

std::string lastPathComponent(std::string_view path) {
    const auto end = path.find_last_not_of('/');
    if (end == std::string_view::npos) return path.empty() ? std::string() : std::string("/");
    const std::string_view trimmed = path.substr(0, end + 1);
    const auto slash = trimmed.rfind('/');
    return std::string(slash == std::string_view::npos ? trimmed : trimmed.substr(slash + 1));
}

std::string containingFolder(std::string_view path) {
    const auto end = path.find_last_not_of('/');
    if (end == std::string_view::npos) return "/";
    const std::string_view trimmed = path.substr(0, end + 1);
    const auto slash = trimmed.rfind('/');
    if (slash == std::string_view::npos) return ".";
    const auto folderEnd = trimmed.find_last_not_of('/', slash);
    return folderEnd == std::string_view::npos ? "/" : std::string(trimmed.substr(0, folderEnd + 1));
}

std::string joinPath(std::string_view folder, std::string_view name) {
    std::string out;
    out.reserve(folder.size() + 1 + name.size());
    out.append(folder);
    if (out.empty() || out.back() != '/') out += '/';
    out.append(name);
    return out;
}

std::string_view withoutTrailingSlashes(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    return path;
}

bool isSameOrInside(std::string_view path, std::string_view folder) {
    folder = withoutTrailingSlashes(folder);
    if (folder.empty()) return false;
    if (folder == "/") return path.starts_with('/');
    if (!path.starts_with(folder)) return false;
    return path.size() == folder.size() || path[folder.size()] == '/';
}

bool isStrictlyInside(std::string_view path, std::string_view folder) {
    return isSameOrInside(path, folder) && withoutTrailingSlashes(path).size() > withoutTrailingSlashes(folder).size();
}

}  // namespace qf
