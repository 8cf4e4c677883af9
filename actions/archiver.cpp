#include "actions/archiver.h"

#include <unistd.h>

#include <cstdlib>

#include "actions/file_ops.h"
#include "core/hit.h"

namespace qf {
namespace {

std::string programFolder() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    return containingFolder(std::string(buf, static_cast<size_t>(n)));
}

}  // namespace

std::string dittoExecutable() {
    if (const char* env = std::getenv("QUILLFIND_DITTO"); env && *env) return env;
    return joinPath(programFolder(), "ditto");
}

std::vector<std::string> dittoArguments(const std::string& source, const std::string& destination) {
    return {"-c", "-k", "--sequesterRsrc", "--keepParent", source, destination};
}

}  // namespace qf
