#pragma once
// Whether the program may read the folders that the system's privacy
// protection guards. Where none of the probe paths exists (a system without
// such protection) the answer is yes.
#include <string>
#include <vector>

namespace qf {

// The three protected locations, in the order they are tried.
std::vector<std::string> fullDiskAccessProbePaths();
// Opens each path read-only in turn: the first that opens answers true, the
// first refused (EPERM, EACCES) answers false, any other failure moves on.
bool hasFullDiskAccess(const std::vector<std::string>& probePaths);
bool hasFullDiskAccess();
// The system settings page that lists the programs with full disk access.
std::string fullDiskAccessSettingsLink();

}  // namespace qf
