#pragma once
// Where one of our programs finds another: the same rule for the window,
// mdfind and the service, in the build folder (all side by side in bin/)
// and installed (bin/ and the private helpers' folder). Header-only and
// Qt-free so that the index service can use it too.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/build_info.h"

namespace qf::protocol {

// The running program's folder; empty when it cannot be told.
inline std::string runningProgramFolder() {
    std::string buffer(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return {};
    buffer.resize(static_cast<std::size_t>(n));
    return std::filesystem::path(buffer).parent_path().string();
}

inline bool isFolder(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::is_directory(path, ignored);
}

// The places a helper `name` may sit, seen from `programFolder`, in the
// order they are tried: beside the program (build/bin), the helpers' folder
// seen from bin/, and bin/ seen from the helpers' folder.
inline std::vector<std::string> helperCandidates(const std::string& programFolder, std::string_view name) {
    if (programFolder.empty()) return {};
    const std::filesystem::path folder(programFolder);
    std::vector<std::string> out;
    for (const char* relative : {".", build::kHelpersFromBin, build::kBinFromHelpers})
        out.push_back((folder / relative / name).lexically_normal().string());
    return out;
}

// The helper program `name`: the environment variable `envOverride` when it
// is set and not empty (taken as is: the user chose it), else the first
// executable candidate; empty when there is none.
inline std::string findHelperProgram(std::string_view name, const char* envOverride = nullptr,
                                     const std::string& programFolder = runningProgramFolder()) {
    if (envOverride)
        if (const char* chosen = std::getenv(envOverride); chosen && *chosen) return chosen;
    for (const std::string& candidate : helperCandidates(programFolder, name))
        if (::access(candidate.c_str(), X_OK) == 0 && !isFolder(candidate)) return candidate;
    return {};
}

}  // namespace qf::protocol
