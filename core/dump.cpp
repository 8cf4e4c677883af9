#include "core/dump.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/path_names.h"
#include "base/write_all.h"
#include "core/query_plan.h"
#include "core/shell.h"
#include "core/spotlight.h"
#include "core/text.h"
#include "core/tokenizer.h"

namespace qf {

namespace {

constexpr std::size_t shownLimit = 20;

PathSet candidates(const QueryPlan& plan) {
    if (!plan.indexTerms.empty()) return mdfindIntersection(plan.indexTerms);
    const auto command = nameQueryCommand(plan);
    if (!command) return {};
    return PathSet(runShellAnswer(*command));
}

}  // namespace

bool dumpModeSelected(const char* value) { return value && std::strcmp(value, "1") == 0; }

void writeDump(std::string_view query, int fd) {
    if (query.empty()) return;
    std::vector<std::string> tokens = strTokenize(query);
    if (tokens.empty()) return;
    for (auto& token : tokens) token = pathTailToken(token);
    const QueryPlan plan = planQuery(tokens);
    const PathSet found = candidates(plan);
    std::size_t shown = 0;
    for (const PathView* path : firstInPlainOrder(found, found.size())) {
        if (shown == shownLimit) break;
        if (!acceptsName(plan, lastPathComponent(*path), false)) continue;
        writeAll(fd, std::string(*path) + "\n");
        ++shown;
    }
    writeAll(fd, "TOTAL=" + std::to_string(found.size()) + " SHOWN=" + std::to_string(shown) + "\n");
}

void dumpSync() {
    const char* query = std::getenv("QUILLFIND_QUERY");
    writeDump(query ? query : "", STDERR_FILENO);
    std::exit(0);
}

}  // namespace qf
