#include "actions/archiver.h"

#include <cstdlib>

#include "actions/file_ops.h"
#include "base/path_names.h"
#include "core/spotlight.h"
#include "protocol/helper_programs.h"

namespace qf {

std::string dittoExecutable() {
    if (const char* env = std::getenv("QUILLFIND_DITTO"); env && *env) return env;
    if (std::string found = protocol::findHelperProgram("ditto"); !found.empty()) return found;
    const std::string folder = protocol::runningProgramFolder();
    return joinPath(folder.empty() ? "." : folder, "ditto");
}

std::vector<std::string> dittoArguments(const std::string& source, const std::string& destination) {
    return {"-c", "-k", "--sequesterRsrc", "--keepParent", source, destination};
}

}  // namespace qf
