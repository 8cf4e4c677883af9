#include "core/spotlight.h"

#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "core/child_process.h"
#include "core/debug_log.h"
#include "core/hit.h"
#include "core/shell.h"
#include "core/text.h"

namespace qf {

namespace {

bool isExecutableFile(const std::string& path) {
    return ::access(path.c_str(), X_OK) == 0;
}

std::string quoted(const std::string& term) {
    return "'" + term + "'";
}

}  // namespace

std::string runningProgramFolder() {
    std::string buffer(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return {};
    buffer.resize(static_cast<std::size_t>(n));
    return containingFolder(buffer);
}

std::string mdfindExecutable() {
    if (const char* chosen = std::getenv("QUILLFIND_MDFIND"); chosen && *chosen) return chosen;
    if (const std::string folder = runningProgramFolder(); !folder.empty()) {
        const std::string beside = folder + "/mdfind";
        if (isExecutableFile(beside)) return beside;
    }
    return "/usr/bin/mdfind";
}

std::string mdfindFolder() {
    const std::string exe = mdfindExecutable();
    if (exe.find('/') == std::string::npos) return {};
    return containingFolder(exe);
}

std::string escapeQuotes(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string substringNameQuery(std::string_view literal) {
    return "mdfind \"kMDItemFSName == '*" + escapeQuotes(literal) + "*'cd\" 2>/dev/null | head -50000";
}

std::string wildcardNameQuery(std::string_view pattern) {
    const bool wild = pattern.find_first_of("*?") != std::string_view::npos;
    const std::string value = wild ? std::string(pattern) : "*" + std::string(pattern);
    return "mdfind \"kMDItemFSName == '" + escapeQuotes(value) + "'cd\" 2>/dev/null | head -50000";
}

std::string recentFilesQuery() {
    return "mdfind 'kMDItemFSContentChangeDate >= $time.today(-1d)' 2>/dev/null | head -2000";
}

AnswerLines mdfindNameCLI(const std::string& term) {
    auto child = std::make_shared<ChildProcess>(mdfindExecutable(), std::vector<std::string>{"-name", term},
                                                environmentWithPathFirst(mdfindFolder()));
    auto& runner = QueryRunner::shared();
    runner.registerProcess(child);
    if (auto error = child->start()) {
        dbg("SPAWN_FAIL " + quoted(term) + ": " + *error);
        runner.unregisterProcess(child);
        return {};
    }
    AnswerLines lines(child->readAll());
    const Termination end = child->wait();
    if (lines.empty()) {
        dbg("mdfind " + quoted(term) + " EMPTY reason=" + (end.bySignal ? "SIG" : "exit") +
            std::to_string(end.status));
    }
    runner.unregisterProcess(child);
    return lines;
}

PathSet mdfindIntersection(const std::vector<std::string>& terms) {
    PathSet accumulated;
    for (std::size_t i = 0; i < terms.size(); ++i) {
        AnswerLines lines = mdfindNameCLI(terms[i]);
        dbg("tok " + quoted(terms[i]) + " -> " + std::to_string(lines.size()) + " lines");
        PathSet found(std::move(lines));
        if (i == 0) {
            accumulated = std::move(found);
        } else {
            accumulated.intersectWith(found);
        }
        // No later term can bring back what one term has excluded.
        if (accumulated.empty()) break;
    }
    return accumulated;
}

std::vector<std::string> recentPaths() {
    return runShell(recentFilesQuery());
}

}  // namespace qf
