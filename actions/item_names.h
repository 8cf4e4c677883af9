#pragma once
// The names the file actions make up: copy names for duplicates, archive
// names for zips, and the checks on a name the user typed.
#include <string>
#include <string_view>

#include "base/expected.h"

namespace qf {

struct NameParts {
    std::string base;
    std::string extension;  // without the dot; empty when there is none
};

// The extension is the text after the last dot of the last path component.
// A leading dot (".profile"), a trailing dot ("notes.") and a tail with a
// space in it ("Draft v1.2 final") do not make an extension.
NameParts splitExtension(std::string_view name);

// n = 0: "base 副本.ext"; n > 0: "base 副本<n>.ext" (no ".ext" without one).
std::string copyName(const NameParts& parts, int n);
// n = 0: "base.zip"; n > 0: "base<n>.zip".
std::string archiveName(std::string_view base, int n);

inline constexpr int kMaxCopyNumber = 999;
inline constexpr int kMaxArchiveNumber = 1000;

// The first copy name in `folder` that is free; when all 1000 are taken,
// the last one (the copy then fails instead of replacing it).
std::string freeCopyPath(const std::string& folder, std::string_view itemName);
// Likewise for the 1001 archive names.
std::string freeArchivePath(const std::string& folder, std::string_view itemName);

// Removes Unicode white space and line breaks from both ends.
std::string trimWhitespaceAndNewlines(std::string_view s);
// Whether a typed name can name an item in a folder; the failure's message
// says why not. A "/" would place the item in another folder, "." and ".."
// are the folders themselves.
Expected<void> checkItemName(std::string_view name);

}  // namespace qf
