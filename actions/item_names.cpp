#include "actions/item_names.h"

#include "actions/file_ops.h"
#include "base/path_names.h"
#include "core/hit.h"
#include "core/text.h"

namespace qf {

NameParts splitExtension(std::string_view name) {
    std::string last = lastPathComponent(name);
    const auto dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == last.size() || last.find(' ', dot) != std::string::npos) {
        return {last, {}};
    }
    return {last.substr(0, dot), last.substr(dot + 1)};
}

std::string copyName(const NameParts& parts, int n) {
    std::string name = parts.base + " 副本";
    if (n > 0) name += std::to_string(n);
    if (!parts.extension.empty()) name += "." + parts.extension;
    return name;
}

std::string archiveName(std::string_view base, int n) {
    std::string name(base);
    if (n > 0) name += std::to_string(n);
    return name + ".zip";
}

std::string freeCopyPath(const std::string& folder, std::string_view itemName) {
    const NameParts parts = splitExtension(itemName);
    std::string candidate;
    for (int n = 0; n <= kMaxCopyNumber; ++n) {
        candidate = joinPath(folder, copyName(parts, n));
        if (!itemExists(candidate)) break;
    }
    return candidate;
}

std::string freeArchivePath(const std::string& folder, std::string_view itemName) {
    const std::string base = splitExtension(itemName).base;
    std::string candidate;
    for (int n = 0; n <= kMaxArchiveNumber; ++n) {
        candidate = joinPath(folder, archiveName(base, n));
        if (!itemExists(candidate)) break;
    }
    return candidate;
}

std::string trimWhitespaceAndNewlines(std::string_view s) { return trimSpacesAndLineBreaks(s); }

Expected<void> checkItemName(std::string_view name) {
    if (name.find('/') != std::string_view::npos) return Error(Errc::invalidInput, "名称中不能含有“/”。");
    if (name.find('\0') != std::string_view::npos) return Error(Errc::invalidInput, "名称中不能含有空字符。");
    if (name == "." || name == "..") return Error(Errc::invalidInput, "“.”和“..”不能用作名称。");
    return {};
}

}  // namespace qf
