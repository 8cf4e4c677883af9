#include "actions/program_run.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <system_error>

extern char** environ;

namespace qf {

ProgramResult runProgramAndWait(const std::string& program, const std::vector<std::string>& args) {
    std::vector<std::string> owned;
    owned.reserve(args.size() + 1);
    owned.push_back(program);
    owned.insert(owned.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : owned) argv.push_back(a.data());
    argv.push_back(nullptr);

    ProgramResult result;
    pid_t pid = -1;
    // glibc reports a failed exec (missing file, no permission) here.
    const int rc = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
    if (rc != 0) {
        result.error = std::system_category().message(rc) + ": " + program;
        return result;
    }
    result.started = true;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            result.exitStatus = -1;
            return result;
        }
    }
    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.exitStatus = WTERMSIG(status);
    }
    return result;
}

}  // namespace qf
