#include "core/spotlight.h"

#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "base/path_names.h"
#include "core/child_process.h"
#include "core/debug_log.h"
#include "core/name_search.h"
#include "core/shell.h"
#include "core/text.h"
#include "protocol/helper_programs.h"

namespace qf {

namespace {

std::string quoted(const std::string& term) { return "'" + term + "'"; }

}  // namespace

std::string mdfindExecutable() {
    if (const char* chosen = std::getenv("QUILLFIND_MDFIND"); chosen && *chosen) return chosen;
    if (std::string found = protocol::findHelperProgram("mdfind"); !found.empty()) return found;
    return "/usr/bin/mdfind";
}

std::string mdfindFolder() {
    const std::string exe = mdfindExecutable();
    if (exe.find('/') == std::string::npos) return {};
    return containingFolder(exe);
}

std::string escapeNameValue(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
            case '\'':
                out += "'\\''";
                break;
            // The value sits in a double-quoted shell word: these four are the
            // only bytes the shell still interprets there, so escaped they reach
            // mdfind as themselves and every other byte passes untouched.
            case '\\':
            case '$':
            case '`':
            case '"':
                out.push_back('\\');
                out.push_back(c);
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

std::string nameQueryArgument(std::string_view value) {
    std::string out = "kMDItemFSName == '";
    for (char c : value) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out.push_back(c);
        }
    }
    return out + "'cd";
}

std::string substringNameQuery(std::string_view literal) {
    return "mdfind \"kMDItemFSName == '*" + escapeNameValue(literal) + "*'cd\" 2>/dev/null | head -50000";
}

std::string wildcardNameQuery(std::string_view pattern) {
    const bool wild = pattern.find_first_of("*?") != std::string_view::npos;
    const std::string value = wild ? std::string(pattern) : "*" + std::string(pattern);
    return "mdfind \"kMDItemFSName == '" + escapeNameValue(value) + "'cd\" 2>/dev/null | head -50000";
}

std::string recentFilesQuery() {
    return "mdfind 'kMDItemFSContentChangeDate >= $time.today(-1d)' 2>/dev/null | head -2000";
}

AnswerLines mdfindNameCLI(const std::string& term) {
    NameSearch search(term);
    search.start();
    return search.finish();
}

PathSet mdfindIntersection(const std::vector<std::string>& terms) {
    PathSet accumulated;
    if (terms.empty()) return accumulated;
    auto search = std::make_unique<NameSearch>(terms[0]);
    search->start();
    for (std::size_t i = 0; i < terms.size(); ++i) {
        const bool last = i + 1 == terms.size();
        // The second term is asked as soon as the first answer is known to
        // hold a line, so that its search and reading overlap the reading of
        // the first. Later terms wait for the intersection: only it tells
        // whether they are to be asked at all.
        std::unique_ptr<NameSearch> next;
        const auto askNext = [&] {
            next = std::make_unique<NameSearch>(terms[1]);
            next->start();
            next->readAhead();
        };
        AnswerLines lines = search->finish(i == 0 && !last ? std::function<void()>(askNext) : nullptr);
        dbg("tok " + quoted(terms[i]) + " -> " + std::to_string(lines.size()) + " lines");
        PathSet found(std::move(lines));
        if (i == 0) {
            accumulated = std::move(found);
        } else {
            accumulated.intersectWith(found);
        }
        // No later term can bring back what one term has excluded; a search
        // asked ahead is abandoned then.
        if (accumulated.empty() || last) break;
        if (!next) {
            next = std::make_unique<NameSearch>(terms[i + 1]);
            next->start();
        }
        search = std::move(next);
    }
    return accumulated;
}

std::vector<std::string> recentPaths() { return runShell(recentFilesQuery()); }

}  // namespace qf
