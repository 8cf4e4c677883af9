#pragma once
// Starting a program from an argument list (never through a shell) and
// reading how it ended.
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "base/expected.h"

namespace qf {

// Where a child's standard stream goes, besides a descriptor of ours.
inline constexpr int kInheritStream = -1;  // the caller's own stream
inline constexpr int kNullStream = -2;     // the null device

struct SpawnOptions {
    // "NAME=value" entries; the caller's environment when absent.
    std::optional<std::vector<std::string>> environment;
    int standardInput = kInheritStream;
    int standardOutput = kInheritStream;
    int standardError = kInheritStream;
    // Lead a process group of its own, so that a signal to the group also
    // reaches whatever the child starts in turn.
    bool ownProcessGroup = false;
};

// How a child ended.
struct Termination {
    bool bySignal = false;  // ended through an uncaught signal
    int status = 0;         // exit status, or the signal number
};

// Starts executable (a path; no PATH search) with arguments after argv[0].
// The child gets an empty signal mask and default signal dispositions,
// whatever the calling thread blocked or ignored. A failed exec (missing
// file, no permission) is reported here, not as an exit status.
Expected<pid_t> spawnProcess(const std::string& executable, const std::vector<std::string>& arguments,
                             const SpawnOptions& options = {});

// The raw status from waitpid() in readable form.
Termination decodeWaitStatus(int status);

// Reaps pid, riding out interruptions by signals.
Expected<Termination> waitForExit(pid_t pid);

// spawnProcess() then waitForExit().
Expected<Termination> runAndWait(const std::string& executable, const std::vector<std::string>& arguments,
                                 const SpawnOptions& options = {});

// The current environment with PATH led by folder, for children whose
// command lines name helper tools that live there.
std::vector<std::string> environmentWithPathFirst(const std::string& folder);

}  // namespace qf
