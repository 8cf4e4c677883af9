#include "actions/program_run.h"

#include "base/spawn.h"

namespace qf {

ProgramResult runProgramAndWait(const std::string& program, const std::vector<std::string>& args) {
    ProgramResult result;
    auto pid = spawnProcess(program, args);
    if (!pid) {
        result.error = pid.error().message() + ": " + program;
        return result;
    }
    result.started = true;
    auto end = waitForExit(*pid);
    // Lost track of the child (someone else reaped it): no status to trust.
    result.exitStatus = end ? end->status : -1;
    return result;
}

}  // namespace qf
