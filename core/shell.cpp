#include "core/shell.h"

#include <unistd.h>

#include <algorithm>

#include "base/error.h"
#include "base/path_names.h"
#include "base/write_all.h"
#include "core/child_process.h"
#include "core/spotlight.h"
#include "core/text.h"

namespace qf {

QueryRunner& QueryRunner::shared() {
    // Never destroyed: background workers may still unregister while the
    // process exits.
    static QueryRunner* const instance = new QueryRunner();
    return *instance;
}

void QueryRunner::registerProcess(const std::shared_ptr<ChildProcess>& p) {
    std::lock_guard guard(lock_);
    procs_.push_back(p);
}

void QueryRunner::unregisterProcess(const std::shared_ptr<ChildProcess>& p) {
    std::lock_guard guard(lock_);
    std::erase(procs_, p);
}

void QueryRunner::cancelAll() {
    std::vector<std::shared_ptr<ChildProcess>> taken;
    {
        std::lock_guard guard(lock_);
        taken.swap(procs_);
    }
    for (const auto& p : taken) p->terminate();
}

std::size_t QueryRunner::runningCount() {
    std::lock_guard guard(lock_);
    return procs_.size();
}

std::string spawnFailLine(std::string_view cmd, std::string_view error) {
    return "SPAWN_FAIL " + firstChars(cmd, 40) + ": " + std::string(error) + "\n";
}

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // CR LF is one character, not a line end; a lone CR is ordinary text.
        if (text[i] != '\n' || (i > 0 && text[i - 1] == '\r')) continue;
        if (i > start) lines.emplace_back(text.substr(start, i - start));
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::vector<std::string> runShell(const std::string& cmd) { return runShellAnswer(cmd).strings(); }

AnswerLines runShellAnswer(const std::string& cmd) {
    // The command names "mdfind", found first in the chosen one's folder.
    // Were it missing there, the shell would search on and run any other
    // (an installed copy, with a service of its own): a failure to start.
    if (const std::string folder = mdfindFolder();
        !folder.empty() && ::access(joinPath(folder, "mdfind").c_str(), X_OK) != 0) {
        writeStderrLine(spawnFailLine(cmd, errorOf(errno).message()));
        return {};
    }
    auto child = std::make_shared<ChildProcess>("/bin/sh", std::vector<std::string>{"-c", cmd},
                                                environmentWithPathFirst(mdfindFolder()));
    auto& runner = QueryRunner::shared();
    runner.registerProcess(child);
    if (const std::error_code error = child->start()) {
        writeStderrLine(spawnFailLine(cmd, error.message()));
        runner.unregisterProcess(child);
        return {};
    }
    std::string output = child->readAll();
    child->wait();
    runner.unregisterProcess(child);
    // Output that is not UTF-8 as a whole yields nothing: the index prints
    // only valid paths, so anything else comes from a misbehaving command.
    return AnswerLines(std::move(output));
}

}  // namespace qf
