#pragma once
// Whether the program may read the folders that the system's privacy
// protection guards. Where none of the probe paths exists (a system without
// such protection) the answer is yes.
#include <functional>
#include <string>
#include <vector>

namespace qf {

enum class ProbeOutcome { opened, refused, unavailable };

// The three protected locations, in the order they are tried.
std::vector<std::string> fullDiskAccessProbePaths();
// Opens the path read-only and closes it again at once: refused is EPERM or
// EACCES, unavailable is every other failure (most often: no such path).
ProbeOutcome probePath(const std::string& path);
// The first path that opens answers true, the first refused one false, the
// others are passed over; true when every path was passed over.
bool hasFullDiskAccess(const std::vector<std::string>& probePaths,
                       const std::function<ProbeOutcome(const std::string&)>& probe = probePath);
bool hasFullDiskAccess();
// The system settings page that lists the programs with full disk access.
std::string fullDiskAccessSettingsLink();

}  // namespace qf
