#pragma once
// The zip archiver the compress action runs.
#include <string>
#include <vector>

namespace qf {

// $QUILLFIND_DITTO, else ditto beside the running program.
std::string dittoExecutable();
// "-c" "-k" "--sequesterRsrc" "--keepParent" source destination
std::vector<std::string> dittoArguments(const std::string& source, const std::string& destination);

}  // namespace qf
