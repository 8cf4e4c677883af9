#pragma once
#include <string>
#include <string_view>

namespace qf::index {

// Writes everything, retrying after interruptions; false when the other
// end is gone. Never raises SIGPIPE.
bool sendAll(int fd, std::string_view bytes);

// Creates `path` as a folder only its owner may enter, or tightens an
// existing one. Refuses a symlink or a folder owned by someone else.
bool ensurePrivateFolder(const std::string& path, std::string* error);

}  // namespace qf::index
