#include "core/dump.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/query_plan.h"
#include "core/hit.h"
#include "core/shell.h"
#include "core/spotlight.h"
#include "core/text.h"
#include "core/tokenizer.h"

namespace qf {

namespace {

constexpr std::size_t shownLimit = 20;

// Each line goes out in one write so that it appears whole.
void writeLine(int fd, const std::string& line) {
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

PathSet candidates(const QueryPlan& plan) {
    if (!plan.indexTerms.empty()) return mdfindIntersection(plan.indexTerms);
    const auto command = nameQueryCommand(plan);
    if (!command) return {};
    const auto lines = runShell(*command);
    return PathSet(lines.begin(), lines.end());
}

}  // namespace

bool dumpModeSelected(const char* value) {
    return value && std::strcmp(value, "1") == 0;
}

void writeDump(std::string_view query, int fd) {
    if (query.empty()) return;
    std::vector<std::string> tokens = strTokenize(query);
    if (tokens.empty()) return;
    for (auto& token : tokens) token = pathTailToken(token);
    const QueryPlan plan = planQuery(tokens);
    const PathSet found = candidates(plan);
    std::vector<std::string> sorted(found.begin(), found.end());
    std::sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) { return plainLess(a, b); });
    std::size_t shown = 0;
    for (const auto& path : sorted) {
        if (shown == shownLimit) break;
        if (!acceptsIgnoringCase(plan, lastPathComponent(path))) continue;
        writeLine(fd, path + "\n");
        ++shown;
    }
    writeLine(fd, "TOTAL=" + std::to_string(found.size()) + " SHOWN=" + std::to_string(shown) + "\n");
}

void dumpSync() {
    const char* query = std::getenv("QUILLFIND_QUERY");
    writeDump(query ? query : "", STDERR_FILENO);
    std::exit(0);
}

}  // namespace qf
