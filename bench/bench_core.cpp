// Micro benchmark of the per-query work of the search core: tokenizing a
// query, classifying its tokens and testing 2000 candidate names against its
// pattern tokens, as a search run does. Prints its figures for comparison
// between changes; run build/bin/bench_core after
//   cmake --build build --target benchmarks
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/matcher.h"
#include "core/text.h"
#include "core/tokenizer.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> candidateNames() {
    const char* stems[] = {"Report", "年度报告", "résumé", "IMG_", "notes", "Cafe\xCC\x81", "backup"};
    const char* exts[] = {".pdf", ".PDF", ".txt", ".jpg", ".tar.gz", "", ".docx"};
    std::vector<std::string> names;
    for (int i = 0; i < 2000; ++i) {
        names.push_back(std::string(stems[i % 7]) + std::to_string(i) + exts[(i / 7) % 7]);
    }
    return names;
}

struct Classified {
    std::vector<std::string> patterns;
    std::vector<std::string> indexTerms;
    std::vector<std::string> shortTerms;
};

Classified classify(const std::string& query) {
    Classified c;
    for (auto token : qf::strTokenize(query)) {
        token = qf::pathTailToken(token);
        if (qf::isPatternToken(token)) {
            c.patterns.push_back(qf::lowerCase(token));
        } else if (!qf::isWideShortToken(token)) {
            c.indexTerms.push_back(token);
        } else if (qf::charCount(token) >= 2) {
            c.shortTerms.push_back(token);
        }
    }
    return c;
}

// One query's worth of work; returns the number of accepted names.
int runQuery(const std::string& query, const std::vector<std::string>& names) {
    const Classified c = classify(query);
    int accepted = 0;
    for (const auto& name : names) {
        const bool ok = std::all_of(c.patterns.begin(), c.patterns.end(),
                                    [&](const std::string& p) { return qf::patternMatch(p, name); });
        accepted += ok ? 1 : 0;
    }
    return accepted;
}

void measure(const std::string& query, const std::vector<std::string>& names) {
    constexpr int rounds = 20;
    int accepted = runQuery(query, names);  // warm caches once
    std::vector<double> ms;
    for (int r = 0; r < rounds; ++r) {
        const auto start = Clock::now();
        accepted = runQuery(query, names);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-28s names=%zu accepted=%4d  median=%7.3f ms  min=%7.3f ms  per-name=%6.2f us\n",
                ("'" + query + "'").c_str(), names.size(), accepted, ms[rounds / 2], ms.front(),
                ms[rounds / 2] * 1000.0 / static_cast<double>(names.size()));
}

}  // namespace

int main() {
    const auto names = candidateNames();
    std::printf("tokenize + classify + %zu patternMatch calls per query, %d rounds\n", names.size(), 20);
    for (const char* query :
         {".pdf", "*.pdf", "report ab .pdf", "IMG_?2*.jpg", "docs/年度*", "\"big report\" *.tar.gz", "résumé ?*"}) {
        measure(query, names);
    }
    return 0;
}
