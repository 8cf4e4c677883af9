#include "core/path_names.h"

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

}  // namespace qf
