#include "model/stress.h"

#include <chrono>

#include "core/spotlight.h"
#include "core/text.h"
#include "core/tokenizer.h"

namespace qf {

std::vector<std::string> splitStressQueries(std::string_view value) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = value.find(',', start);
        if (comma == std::string_view::npos) {
            pieces.emplace_back(value.substr(start));
            return pieces;
        }
        pieces.emplace_back(value.substr(start, comma - start));
        start = comma + 1;
    }
}

std::vector<std::string> stressTerms(std::string_view query) {
    std::vector<std::string> terms;
    for (auto& token : strTokenize(trimSpaces(query))) {
        if (!isPatternToken(token)) terms.push_back(std::move(token));
    }
    return terms;
}

std::string stressLine(int pass, std::string_view query, std::size_t resultSize, std::int64_t milliseconds) {
    std::string line = "R" + std::to_string(pass) + " '";
    line += query;
    line += "' -> " + std::to_string(resultSize) + " in " + std::to_string(milliseconds) + "ms\n";
    return line;
}

void runStress(const std::vector<std::string>& queries, const std::function<void(const std::string&)>& write) {
    using Clock = std::chrono::steady_clock;
    for (int pass = 1; pass <= kStressPasses; ++pass) {
        for (const auto& query : queries) {
            const auto started = Clock::now();
            const std::vector<std::string> terms = stressTerms(query);
            const std::size_t size = terms.empty() ? 0 : mdfindIntersection(terms).size();
            const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
            write(stressLine(pass, query, size, elapsed.count()));
        }
    }
    write("STRESS_DONE\n");
}

}  // namespace qf
