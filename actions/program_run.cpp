#include "actions/program_run.h"

#include "base/spawn.h"

namespace qf {

Expected<int> runProgramAndWait(const std::string& program, const std::vector<std::string>& args) {
    auto pid = spawnProcess(program, args);
    if (!pid) return std::move(pid).error().within(program);
    // Losing track of the child (someone else reaped it) leaves no status to
    // trust: that is a failure, not an exit status.
    auto end = waitForExit(*pid);
    if (!end) return std::move(end).error().within("waiting for " + program);
    return end->status;
}

}  // namespace qf
