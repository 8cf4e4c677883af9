// How the index store scales, in process: memory per entry and the time of
// a rare and a common name search at 1M, 3M and 10M synthetic entries
// (realistic name lengths, folders of about 30 entries, some CJK and
// accented names), and of the desktop's question: the best 20 names for the
// common one, ranked and newest first. Prints one table.
//
//   bench_index_scale [--max N] [--runs N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "index/store/best_matches.h"
#include "index/store/fold.h"
#include "index/store/index_store.h"
#include "index/store/search.h"

namespace {

using Clock = std::chrono::steady_clock;
using qf::index::EntryType;

const char* const kStems[] = {"report",    "notes", "invoice", "IMG",   "Résumé", "报告",    "draft", "backup",
                              "Quarterly", "data",  "budget",  "scan",  "lettre", "config",  "归档",  "music",
                              "main",      "index", "README",  "photo", "café",   "summary", "test",  "build"};
const char* const kExtensions[] = {".txt", ".pdf", ".jpg", ".odt", ".png", ".csv", ".tar.gz", ".h", ".cpp", ""};

std::string entryName(std::mt19937& random, std::size_t serial) {
    std::string name = kStems[random() % std::size(kStems)];
    if (random() % 2) {
        name += random() % 2 ? " " : "_";
        name += kStems[random() % std::size(kStems)];
    }
    name += "-" + std::to_string(serial);
    name += kExtensions[random() % std::size(kExtensions)];
    return name;
}

// Grows the store to `target` entries, breadth-first: every folder gets
// about 30 entries, one in ten of them a folder.
void growTo(qf::index::IndexStore& store, std::vector<uint32_t>& folders, std::size_t& nextFolder, std::mt19937& random,
            std::size_t target) {
    while (store.size() < target) {
        const uint32_t parent = folders[nextFolder++ % folders.size()];
        for (int i = 0; i < 30 && store.size() < target; ++i) {
            const std::string name = entryName(random, store.size());
            const bool folder = random() % 10 == 0;
            // Whole seconds over three years: many names share a time, as
            // files copied or unpacked together do.
            const int64_t changed = (1600000000 + static_cast<int64_t>(random() % (3 * 365 * 86400))) * 1000000000;
            const uint32_t id = store.addChild(parent, name, qf::index::foldName(name),
                                               folder ? EntryType::dir : EntryType::file, changed, 0);
            if (folder) folders.push_back(id);
        }
    }
}

double medianMs(int runs, const std::function<std::size_t()>& once, std::size_t& hits) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto t = Clock::now();
        hits = once();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t maxEntries = 10000000;
    int runs = 7;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--max" && i + 1 < argc)
            maxEntries = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    qf::index::IndexStore store;
    std::vector<uint32_t> folders{store.addRoot("/scale")};
    std::size_t nextFolder = 0;
    std::mt19937 random(42);

    std::printf("%-10s %-10s %-28s %-28s %-28s %-28s\n", "entries", "bytes/ent", "rare name, 1 thread",
                "rare name, all cores", "common name, all cores", "best 20 of common, all cores");
    for (std::size_t size : {std::size_t{1000000}, std::size_t{3000000}, std::size_t{10000000}}) {
        if (size > maxEntries) break;
        growTo(store, folders, nextFolder, random, size);
        store.trimCapacity();
        const double perEntry = static_cast<double>(store.memoryBytes()) / static_cast<double>(store.liveCount());
        // Every name ends in "-<its serial>" plus an extension, so this
        // term is found in a handful of names.
        const std::string rare = "-" + std::to_string(size / 2 + 7) + ".";
        std::size_t rareHits = 0, rareHitsAll = 0, commonHits = 0;
        const double rareOne = medianMs(
            runs, [&] { return qf::index::findContaining(store, rare, 1).size(); }, rareHits);
        const double rareAll = medianMs(
            runs, [&] { return qf::index::findContaining(store, rare, cores).size(); }, rareHitsAll);
        const double common = medianMs(
            runs, [&] { return qf::index::findContaining(store, "report", cores).size(); }, commonHits);
        qf::index::BestQuery best;
        best.terms = {"report"};
        best.typed = "report";
        best.limit = 20;
        std::size_t bestMatches = 0;
        const double bestMs = medianMs(
            runs, [&] { return qf::index::findBest(store, best, cores).matches; }, bestMatches);
        char a[64], b[64], c[64], d[64];
        std::snprintf(a, sizeof a, "%.2f ms (%zu hits)", rareOne, rareHits);
        std::snprintf(b, sizeof b, "%.2f ms (%zu hits)", rareAll, rareHitsAll);
        std::snprintf(c, sizeof c, "%.2f ms (%zu hits)", common, commonHits);
        std::snprintf(d, sizeof d, "%.2f ms (of %zu)", bestMs, bestMatches);
        std::printf("%-10zu %-10.1f %-28s %-28s %-28s %-28s\n", size, perEntry, a, b, c, d);
        std::fflush(stdout);
    }
    return 0;
}
