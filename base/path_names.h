#pragma once
// Paths as text: their parts, joining them and whether one lies inside
// another. Nothing here asks the file system.
#include <string>
#include <string_view>

namespace qf {

// Text after the last "/", a trailing "/" ignored.
std::string lastPathComponent(std::string_view path);
// The folder that holds the item; no trailing slash except "/".
std::string containingFolder(std::string_view path);
// folder + "/" + name, without doubling the slash of the root.
std::string joinPath(std::string_view folder, std::string_view name);
// The path without its trailing slashes; "/" stays "/".
std::string_view withoutTrailingSlashes(std::string_view path);

// True when `path` is `folder` or lies below it. Trailing slashes of
// either do not count; no folder is empty.
bool isSameOrInside(std::string_view path, std::string_view folder);
// True when `path` lies below `folder`, not `folder` itself.
bool isStrictlyInside(std::string_view path, std::string_view folder);

}  // namespace qf
