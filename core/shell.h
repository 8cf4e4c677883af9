#pragma once
// Child processes for the index queries, and the process-wide registry that
// lets a new search stop every query an older search still runs.
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/path_set.h"

namespace qf {

class ChildProcess;  // defined in child_process.h

class QueryRunner {
public:
    static QueryRunner& shared();
    void registerProcess(const std::shared_ptr<ChildProcess>& p);
    void unregisterProcess(const std::shared_ptr<ChildProcess>& p);
    // Terminates (SIGTERM to the child's process group) every listed child
    // that still runs, and empties the list.
    void cancelAll();
    std::size_t runningCount();

private:
    QueryRunner() = default;
    std::mutex lock_;
    std::vector<std::shared_ptr<ChildProcess>> procs_;
};

// Runs cmd through /bin/sh -c; returns the non-empty lines of its stdout.
std::vector<std::string> runShell(const std::string& cmd);
// The same lines as views into one buffer, for answers that may be long.
AnswerLines runShellAnswer(const std::string& cmd);
// The standard-error line for a command line that could not be started:
// "SPAWN_FAIL " + its first 40 characters + ": " + error + "\n".
std::string spawnFailLine(std::string_view cmd, std::string_view error);
// The non-empty pieces of text between line feeds; CR LF does not end a line.
std::vector<std::string> splitLines(std::string_view text);

}  // namespace qf
