#pragma once
#include <string>
#include <string_view>

#include "base/expected.h"

namespace qf::index {

// Creates `path` as a folder only its owner may enter, or tightens an
// existing one. Refuses a symlink or a folder owned by someone else.
Expected<void> ensurePrivateFolder(const std::string& path);

}  // namespace qf::index
