#pragma once
// The parts of a path, apart from the file facts of hit.h: dump mode needs
// them without the MIME database those bring.
#include <string>
#include <string_view>

namespace qf {

// Text after the last "/", a trailing "/" ignored.
std::string lastPathComponent(std::string_view path);
// The folder that holds the item; no trailing slash except "/".
std::string containingFolder(std::string_view path);

}  // namespace qf
