#pragma once
// The file-system work behind move, duplicate and rename. Nothing here ever
// replaces an existing item: a name that is taken, even one that appears
// while the operation runs, ends the operation with EEXIST. Failures carry
// the errno alone: the caller says what it was doing.
#include <string>

#include "base/expected.h"

namespace qf {

// True when a directory entry exists at path; a dangling link counts.
bool itemExists(const std::string& path);

// rename(2) that fails with EEXIST instead of replacing the destination.
Expected<void> renameNoReplace(const std::string& from, const std::string& to);
// Moves or renames an item. Across file systems the item is copied under a
// hidden name beside the destination, compared with the original, renamed
// into place and only then is the original removed; if anything fails
// before that the copy is removed and the original is untouched.
Expected<void> moveItem(const std::string& from, const std::string& to);
// Copies an item to a new path: folders recursively, symbolic links as
// links, permission bits and modification times kept. A failed copy leaves
// nothing behind.
Expected<void> copyItem(const std::string& from, const std::string& to);
// Byte-for-byte and link-for-link comparison of two trees.
bool sameTree(const std::string& a, const std::string& b);
Expected<void> removeTree(const std::string& path);

}  // namespace qf
