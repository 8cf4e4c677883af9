// Benchmark of the Model: the time from run() to the publication of its
// results on an index of about a million entries, and the main-thread cost of
// one publication (assignments and sort) of 1000 hits. Prints one table.
//
//   bench_model [--entries N] [--dir FOLDER] [--keep] [--runs N] [--pipeline-only]
//               [--tree FOLDER]
//
// --tree makes the million-entry tree in FOLDER once and uses it again on
// later runs (making it takes minutes); it is never removed.
//
// The million-entry index is the real index service (mdfind and
// quillfind-indexd from the folder of this program) on a synthetic tree made
// under FOLDER (default /var/tmp). Without them a stand-in mdfind prints the
// same number of paths from a file, and the table says so.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/path_set.h"
#include "core/shell.h"
#include "model/desktop_services.h"
#include "model/hit_sort.h"
#include "model/model.h"
#include "model/run_shared.h"

namespace fs = std::filesystem;

namespace {

class NoDesktop : public qf::DesktopServices {
public:
    void openItem(const std::string&) override {}
};

struct Options {
    std::size_t entries = 1000000;
    std::string dir = "/var/tmp";
    bool keep = false;
    int runs = 7;
    bool pipelineOnly = false;
    std::string tree;  // kept between runs when given
};

std::vector<std::pair<std::string, std::string>> table;

void add(const std::string& what, const std::string& figure) { table.emplace_back(what, figure); }

std::string fmt(double value, const char* unit, int decimals = 2) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f %s", decimals, value, unit);
    return text;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

// Processes events until the model's newest run has published.
bool waitForPublication(qf::Model& model, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (model.gathering() && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return !model.gathering();
}

// ---- names of the synthetic tree ----

const char* const kWords[] = {"report",    "notes", "invoice", "photo", "Résumé", "报告",   "draft",   "backup",
                              "Quarterly", "data",  "budget",  "scan",  "letter", "config", "archive", "music"};
const char* const kExtensions[] = {".txt", ".pdf", ".jpg", ".odt", ".png", ".csv", ".tar.gz", ""};

std::string entryName(std::mt19937& random, std::size_t serial) {
    std::string name = kWords[random() % std::size(kWords)];
    name += random() % 2 ? " " : "_";
    name += kWords[random() % std::size(kWords)];
    name += "-" + std::to_string(serial);
    name += kExtensions[random() % std::size(kExtensions)];
    return name;
}

// Folders of about a thousand entries, two levels deep; returns the entries
// made (files and folders).
std::size_t makeTree(const std::string& root, std::size_t entries) {
    std::mt19937 random(42);
    std::size_t made = 0;
    for (std::size_t top = 0; made < entries; ++top) {
        const std::string topDir = root + "/top" + std::to_string(top);
        ::mkdir(topDir.c_str(), 0755);
        ++made;
        for (int sub = 0; sub < 30 && made < entries; ++sub) {
            const std::string subDir = topDir + "/" + kWords[sub % std::size(kWords)] + "-" + std::to_string(sub);
            ::mkdir(subDir.c_str(), 0755);
            ++made;
            for (int f = 0; f < 1000 && made < entries; ++f) {
                const std::string path = subDir + "/" + entryName(random, made);
                const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
                if (fd >= 0) ::close(fd);
                ++made;
            }
        }
    }
    return made;
}

std::string runCapture(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        ::pclose(pipe);
    }
    return out;
}

// ---- the publication of 1000 hits ----

void benchPublication(const std::string& work, int runs) {
    const std::string files = work + "/files";
    fs::create_directories(files);
    std::mt19937 random(7);
    std::string answer;
    for (int i = 0; i < 1000; ++i) {
        const std::string path = files + "/" + entryName(random, i) + " report";
        writeFile(path, std::string(random() % 5000, 'x'));
        struct timeval times[2] = {{static_cast<time_t>(1600000000 + random() % 100000000), 0}, {0, 0}};
        times[1] = times[0];
        ::utimes(path.c_str(), times);
        answer += path + "\n";
    }
    writeFile(work + "/answer", answer);
    writeFile(work + "/mdfind", "#!/bin/sh\ncat \"$(dirname \"$0\")/answer\"\n");
    ::chmod((work + "/mdfind").c_str(), 0755);
    ::setenv("QUILLFIND_MDFIND", (work + "/mdfind").c_str(), 1);

    NoDesktop desktop;
    qf::Model model(desktop);
    // A publication starts with its assignment of total and ends with the
    // sort's assignment of hits.
    QElapsedTimer clock;
    std::vector<double> publications;
    QObject::connect(&model, &qf::Model::totalAssigned, [&] {
        if (model.gathering()) clock.start();
    });
    QObject::connect(&model, &qf::Model::hitsAssigned, [&] {
        if (!model.gathering() && clock.isValid()) {
            publications.push_back(clock.nsecsElapsed() / 1e6);
            clock.invalidate();
        }
    });
    for (const qf::SortKey key : {qf::SortKey::name, qf::SortKey::size, qf::SortKey::date}) {
        if (model.sortKey() != key) model.setSort(key);
        publications.clear();
        for (int i = 0; i < runs; ++i) {
            model.setText("report");
            model.run();
            waitForPublication(model, 30000);
        }
        const char* column = key == qf::SortKey::name ? "name" : key == qf::SortKey::size ? "size" : "date";
        add(std::string("publication of ") + std::to_string(model.hits().size()) + " hits + sort by " + column +
                " (main thread, median of " + std::to_string(publications.size()) + ")",
            fmt(median(publications), "ms", 3));
    }

    std::vector<qf::Hit> hits = model.hits();
    std::vector<double> sorts;
    for (int i = 0; i < runs * 3; ++i) {
        std::shuffle(hits.begin(), hits.end(), random);
        QElapsedTimer sortClock;
        sortClock.start();
        qf::sortHits(hits, qf::SortKey::name, i % 2 == 0);
        sorts.push_back(sortClock.nsecsElapsed() / 1e6);
    }
    add("sortHits of 1000 by name alone (collation keys, median)", fmt(median(sorts), "ms", 3));
}

// ---- the candidate pipeline alone, on one large answer ----

// The worker's own share of a run: one answer of `lines` paths split into
// views, made a set, and ordered, against a string per line in a node set.
void benchPipeline(std::size_t lines, int runs) {
    std::mt19937 random(42);
    std::string answer;
    for (std::size_t i = 0; i < lines; ++i) {
        answer += "/var/tmp/bench-model-XXXXXX/million/tree/top" + std::to_string(random() % 34) + "/" +
                  kWords[random() % std::size(kWords)] + "-" + std::to_string(random() % 30) + "/" +
                  entryName(random, i) + "\n";
    }
    std::vector<double> split, set, order, reference;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        qf::AnswerLines views(answer);
        split.push_back(clock.nsecsElapsed() / 1e6);
        clock.restart();
        qf::PathSet candidates(std::move(views));
        set.push_back(clock.nsecsElapsed() / 1e6);
        clock.restart();
        const auto first = qf::firstInPlainOrder(candidates, 2000);
        order.push_back(clock.nsecsElapsed() / 1e6);
        clock.restart();
        const auto strings = qf::splitLines(answer);
        const std::set<std::string> nodes(strings.begin(), strings.end());
        reference.push_back(clock.nsecsElapsed() / 1e6);
    }
    const std::string n = std::to_string(lines);
    add("pipeline, " + n + "-line answer: split into views (median)", fmt(median(split), "ms"));
    add("pipeline, " + n + "-line answer: sorted set of views (median)", fmt(median(set), "ms"));
    add("pipeline, " + n + "-line answer: first 2000 in plain order (median)", fmt(median(order), "ms"));
    add("pipeline, " + n + "-line answer: a string per line in a node set, for reference (median)",
        fmt(median(reference), "ms"));
}

// ---- run() to publication on a million entries ----

struct Query {
    std::string label;
    std::string text;
    bool regex = false;
};

void benchRuns(qf::Model& model, const std::string& prefix, const std::vector<Query>& queries, int runs) {
    for (const auto& query : queries) {
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer clock;
            clock.start();
            model.setRegexMode(query.regex);
            model.setText(query.text);
            model.run();
            if (!waitForPublication(model, 60000)) break;
            times.push_back(clock.nsecsElapsed() / 1e6);
        }
        add(prefix + ": run() -> publication, " + query.label + " (median of " + std::to_string(times.size()) + ")",
            fmt(median(times), "ms", 1) + "  (total " + std::to_string(model.total()) + ", rows " +
                std::to_string(model.hits().size()) + ")");
    }
}

pid_t servicePid(const std::string& indexDir) {
    std::ifstream lock(indexDir + "/indexd.lock");
    pid_t pid = 0;
    lock >> pid;
    return pid;
}

void benchMillion(const Options& options, const std::string& work, const std::string& binDir) {
    const std::string mdfind = binDir + "/mdfind";
    const bool real =
        ::access(mdfind.c_str(), X_OK) == 0 && ::access((binDir + "/quillfind-indexd").c_str(), X_OK) == 0;
    const std::string base = options.tree.empty() ? work : options.tree;
    const std::string tree = base + "/tree";
    const std::string indexDir = base + "/index";
    const bool reuse = !options.tree.empty() && fs::exists(tree);
    fs::create_directories(tree);
    fs::create_directories(indexDir);

    NoDesktop desktop;
    if (!real) {
        // Stand-in: every query answers the same million paths.
        std::string lines;
        lines.reserve(options.entries * 48);
        std::mt19937 random(42);
        for (std::size_t i = 0; i < options.entries; ++i) lines += tree + "/top/" + entryName(random, i) + "\n";
        writeFile(work + "/million", lines);
        writeFile(work + "/mdfind", "#!/bin/sh\ncat \"$(dirname \"$0\")/million\"\n");
        ::chmod((work + "/mdfind").c_str(), 0755);
        ::setenv("QUILLFIND_MDFIND", (work + "/mdfind").c_str(), 1);
        qf::Model model(desktop);
        benchRuns(model, "stand-in mdfind, " + std::to_string(options.entries) + " paths",
                  {{"index term matching every path", "report"}, {"recent files", ""}}, options.runs);
        return;
    }

    QElapsedTimer clock;
    clock.start();
    const std::size_t made = reuse ? options.entries : makeTree(tree, options.entries);
    if (!reuse)
        add("synthetic tree: entries created", std::to_string(made) + " in " + fmt(clock.elapsed() / 1000.0, "s", 1));

    ::setenv("QUILLFIND_MDFIND", mdfind.c_str(), 1);
    ::setenv("QUILLFIND_INDEX_ROOTS", tree.c_str(), 1);
    ::setenv("QUILLFIND_INDEX_DIR", indexDir.c_str(), 1);
    clock.restart();
    runCapture("'" + mdfind + "' --start-service 2>&1");
    // A service that starts from its snapshot catches up with a crawl of its
    // own; the runs are timed only once a crawl has finished.
    const auto settled = [&] {
        const std::string status = runCapture("'" + mdfind + "' --status 2>&1");
        return status.find("state: idle") != std::string::npos && status.find("last crawl:") != std::string::npos;
    };
    while (!settled() && clock.elapsed() < 600000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    add("index service: crawl of the tree", fmt(clock.elapsed() / 1000.0, "s", 1));

    {
        qf::Model model(desktop);
        // Every name ends in "-<its serial>", so this term has a handful of hits.
        const std::string rare = "-" + std::to_string(made / 2 + 7);
        benchRuns(model, std::to_string(made) + "-entry index",
                  {{"'report' (one index term, ~1/8 of all names)", "report"},
                   {"'report draft' (two index terms intersected)", "report draft"},
                   {"'quarterly 报告 .pdf' (two terms + suffix)", "quarterly 报告 .pdf"},
                   {"'" + rare + "' (rare term)", rare},
                   {"'ta' (substring name query, 50000 cap)", "ta"},
                   {"'.pdf' (wildcard name query)", ".pdf"},
                   {"'^report_\\w+-\\d+\\.txt$' (expression)", "^report_\\w+-\\d+\\.txt$", true},
                   {"'' (recent files)", ""}},
                  options.runs);
    }
    qf::waitForBackgroundIdle(60000);
    if (const pid_t pid = servicePid(indexDir); pid > 0) ::kill(pid, SIGTERM);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--entries" && i + 1 < argc)
            options.entries = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--dir" && i + 1 < argc)
            options.dir = argv[++i];
        else if (arg == "--runs" && i + 1 < argc)
            options.runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--keep")
            options.keep = true;
        else if (arg == "--pipeline-only")
            options.pipelineOnly = true;
        else if (arg == "--tree" && i + 1 < argc)
            options.tree = argv[++i];
    }
    char pattern[] = "/bench-model-XXXXXX";
    std::string templ = options.dir + pattern;
    if (::mkdtemp(templ.data()) == nullptr) {
        std::fprintf(stderr, "cannot make a folder under %s\n", options.dir.c_str());
        return 1;
    }
    const std::string work = templ;
    ::setenv("QUILLFIND_DEBUG_LOG", (work + "/debug.log").c_str(), 1);

    benchPipeline(120895, options.runs * 3);
    if (!options.pipelineOnly) {
        benchPublication(work + "/publication", options.runs * 3);
        benchMillion(options, work + "/million", QCoreApplication::applicationDirPath().toStdString());
    }
    qf::waitForBackgroundIdle(60000);

    std::size_t width = 0;
    for (const auto& row : table) width = std::max(width, row.first.size());
    std::printf("Model benchmark\n");
    for (const auto& [what, figure] : table)
        std::printf("  %-*s  %s\n", static_cast<int>(width), what.c_str(), figure.c_str());
    if (!options.keep) {
        std::error_code ignored;
        fs::remove_all(work, ignored);
    } else {
        std::printf("kept %s\n", work.c_str());
    }
    return 0;
}
