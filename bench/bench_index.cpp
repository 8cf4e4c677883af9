// Benchmark of the index service and mdfind against plocate, find and
// fdfind, all as whole processes, on a synthetic tree of about a million
// entries and on /usr. Prints one table.
//
//   bench_index [--entries N] [--dir FOLDER] [--no-usr] [--keep] [--tree-only] [--tree EXISTING] [--crawl-only]
//               [--catch-up-only] [--shape second-wider] [--dump-only]
//
// --tree-only makes the tree and prints its path; --tree reuses such a tree.
// --shape second-wider makes a tree where "draft", the second term of the
// two-term dump query, is in three times as many names as "report".
// --dump-only times only dump mode against plocate (one crawl).
// --crawl-only stops after timing the crawl against fdfind.
// --catch-up-only times only the catch-up after a restart, with files
// edited while the service was down, against find examining every entry.
//
// mdfind and quillfind-indexd are taken from the folder of this program.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/unix_socket.h"
#include "index/client/client.h"
#include "index/store/fold.h"
#include "index/store/glob.h"
#include "index/store/index_store.h"
#include "index/store/search.h"
#include "index/store/snapshot.h"
#include "protocol/index_protocol.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

std::string selfDir() {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string self(buf, n > 0 ? static_cast<size_t>(n) : 0);
    return self.substr(0, self.rfind('/'));
}

// ---- processes ----

struct Run {
    int status = -1;
    size_t lines = 0;
    std::string out;
    double ms = 0;
};

std::vector<std::string> environment(const std::map<std::string, std::string>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string kv = *e;
        if (!extra.count(kv.substr(0, kv.find('=')))) env.push_back(kv);
    }
    for (auto& [k, v] : extra) env.push_back(k + "=" + v);
    return env;
}

// Runs argv, reading its whole output (counted, kept only when `keep`).
Run run(std::vector<std::string> argv, const std::map<std::string, std::string>& env = {}, bool keep = false) {
    Run r;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return r;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> envs = environment(env);
    std::vector<char*> cargv, cenv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    for (auto& e : envs) cenv.push_back(e.data());
    cenv.push_back(nullptr);
    auto start = Clock::now();
    pid_t pid;
    int rc = ::posix_spawnp(&pid, cargv[0], &fa, nullptr, cargv.data(), cenv.data());
    posix_spawn_file_actions_destroy(&fa);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        return r;
    }
    char buf[1 << 16];
    ssize_t n;
    while ((n = ::read(out[0], buf, sizeof buf)) > 0) {
        r.lines += static_cast<size_t>(std::count(buf, buf + n, '\n'));
        if (keep) r.out.append(buf, static_cast<size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.ms = msSince(start);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

bool haveTool(const std::string& name) {
    return run({"/bin/sh", "-c", "command -v " + name + " >/dev/null"}).status == 0;
}

struct Timing {
    double median = 0;
    size_t lines = 0;
};

Timing medianOf(int times, const std::function<Run()>& once) {
    std::vector<double> ms;
    size_t lines = 0;
    for (int i = 0; i < times; ++i) {
        Run r = once();
        ms.push_back(r.ms);
        lines = r.lines;
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], lines};
}

// ---- the synthetic tree ----

const char* const kLatin[] = {"report",  "invoice",  "photo",   "notes",  "budget",  "draft",   "summary",
                              "meeting", "project",  "archive", "backup", "config",  "data",    "image",
                              "music",   "video",    "letter",  "resume", "thesis",  "chapter", "plan",
                              "minutes", "contract", "scan",    "slides", "holiday", "family",  "source",
                              "build",   "test",     "release", "design", "sketch",  "model",   "export"};
const char* const kAccented[] = {"résumé", "café",   "naïve",  "Ångström", "façade",  "über", "señor",
                                 "crème",  "brûlée", "Zürich", "Málaga",   "Øresund", "Łódź", "Ελλάδα"};
const char* const kCjk[] = {"报告", "会议", "照片",     "项目", "数据", "文档",   "设计", "预算",
                            "总结", "计划", "レポート", "写真", "資料", "회의록", "사진"};
const char* const kExt[] = {".txt", ".pdf", ".jpg", ".png", ".md",  ".docx", ".xlsx",
                            ".cpp", ".h",   ".mp3", ".JPG", ".PDF", ""};

class TreeMaker {
public:
    TreeMaker(size_t target, bool secondWider) : target_(target), secondWider_(secondWider), rng_(20240601) {}

    std::string word() {
        if (secondWider_ && pick(25) == 0) return "draft";
        int k = pick(100);
        if (k < 70) return kLatin[pick(std::size(kLatin))];
        if (k < 85) return kAccented[pick(std::size(kAccented))];
        return kCjk[pick(std::size(kCjk))];
    }
    std::string name(bool folder) {
        std::string n = word();
        if (pick(2)) n += (pick(2) ? "_" : " ") + word();
        if (pick(3) == 0) n += "-" + std::to_string(pick(3000));
        if (pick(1000) == 0) n = "Quarterly " + n;  // the needle of the name queries
        if (pick(5) == 0 && !n.empty() && n[0] >= 'a' && n[0] <= 'z') n[0] = static_cast<char>(n[0] - 32);
        if (!folder) n += kExt[pick(std::size(kExt))];
        return n;
    }

    // Fills `root` breadth-first; a few folders get tens of thousands of files.
    size_t build(const std::string& root) {
        struct Pending {
            std::string path;
            int depth;
        };
        std::vector<Pending> queue{{root, 0}};
        size_t head = 0;
        while (made_ < target_) {
            // Out of folders before the target: add more to the top folder.
            if (head == queue.size()) queue.push_back({root, 0});
            Pending dir = queue[head++];
            int fd = ::open(dir.path.c_str(), O_RDONLY | O_DIRECTORY);
            if (fd < 0) continue;
            bool huge = made_ > 0 && huges_ < 3 && pick(4000) == 0;
            size_t files = huge ? 30000 : 3 + pick(25);
            int folders = dir.depth >= 9 ? 0 : pick(dir.depth < 2 ? 12 : 6);
            if (huge) ++huges_;
            for (size_t i = 0; i < files && made_ < target_; ++i) {
                std::string n = name(false);
                int f = ::openat(fd, n.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
                if (f < 0) continue;
                // Most files are old, so the recent-files query finds a realistic few.
                if (pick(100) != 0) {
                    timespec t[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 86400 * (3 + pick(900)), 0}};
                    ::futimens(f, t);
                }
                ::close(f);
                ++made_;
            }
            for (int i = 0; i < folders && made_ < target_; ++i) {
                std::string n = name(true);
                if (::mkdirat(fd, n.c_str(), 0755) != 0) continue;
                ++made_;
                queue.push_back({dir.path + "/" + n, dir.depth + 1});
            }
            ::close(fd);
        }
        return made_;
    }

private:
    unsigned pick(size_t n) { return static_cast<unsigned>(rng_() % n); }
    size_t target_;
    bool secondWider_;
    size_t made_ = 0;
    int huges_ = 0;
    std::mt19937_64 rng_;
};

// ---- the service under test ----

struct ServiceRun {
    double crawlMs = 0;     // from the start of the process until every name is searchable
    double timesMs = 0;     // ... until every change time is read too
    size_t internalMs = 0;  // the crawl (names) as the service measured it
    long peakKb = 0;        // the service's peak resident memory, the crawl included
    size_t entries = 0;
    long rssKb = 0;
    pid_t pid = -1;
};

// Asked in process: starting an mdfind every few milliseconds would take
// CPU time from the crawl being measured. Unknown until the service answers.
qf::index::ServiceStatus statusOf(const std::map<std::string, std::string>& env) {
    std::string socket = env.at(qf::protocol::kEnvIndexDir) + "/" + qf::protocol::kSocketName;
    return qf::index::queryStatus(socket, std::chrono::seconds(5)).valueOr({});
}

bool idle(const qf::index::ServiceStatus& status) { return status.crawling == qf::index::Flag::no; }
// A service that does not say is one that reads times with the names.
bool timesRead(const qf::index::ServiceStatus& status) { return status.timesPending.value_or(0) == 0; }

long statusKb(pid_t pid, const std::string& key) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) return std::strtol(line.c_str() + key.size(), nullptr, 10);
    return 0;
}
long rssKb(pid_t pid) { return statusKb(pid, "VmRSS:"); }

pid_t servicePid(const std::string& indexDir) {
    std::ifstream in(indexDir + "/indexd.lock");
    pid_t pid = -1;
    in >> pid;
    return pid;
}

void stopService(const std::string& indexDir) {
    pid_t pid = servicePid(indexDir);
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 600 && ::kill(pid, 0) == 0; ++i) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string s((std::istreambuf_iterator<char>(stat)), {});
        if (s.find(") Z") != std::string::npos) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// Starts the service and waits for the end of its first crawl: its names,
// then its change times.
ServiceRun startAndCrawl(const std::map<std::string, std::string>& env, const std::string& bin) {
    ServiceRun s;
    auto start = Clock::now();
    run({bin + "/quillfind-indexd", "--daemonize"}, env);
    while (true) {
        qf::index::ServiceStatus st = statusOf(env);
        if (idle(st) && s.crawlMs == 0) {
            s.crawlMs = msSince(start);
            s.internalMs = static_cast<size_t>(st.lastCrawlMs.value_or(0));
            s.entries = st.entries.value_or(0);
            s.pid = static_cast<pid_t>(st.pid.value_or(-1));
        }
        if (s.crawlMs != 0 && timesRead(st)) {
            s.timesMs = msSince(start);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    s.peakKb = statusKb(s.pid, "VmHWM:");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    s.rssKb = rssKb(s.pid);
    return s;
}

// Creation (or deletion) to visibility in mdfind, polled as fast as
// whole mdfind processes allow.
double visibilityDelayMs(const std::map<std::string, std::string>& env, const std::string& bin,
                         const std::string& folder, int round, bool create) {
    std::string name = "fresh-unique-" + std::to_string(round) + ".txt";
    std::string path = folder + "/" + name;
    auto start = Clock::now();
    if (create)
        std::ofstream(path) << "x";
    else
        fs::remove(path);
    while (msSince(start) < 10000) {
        Run r = run({bin + "/mdfind", "-name", name}, env);
        if ((r.lines > 0) == create) return msSince(start);
    }
    return -1;
}

// ---- the table ----

struct Row {
    std::string what;
    std::string value;
};
std::vector<Row> rows;

std::string fmt(double v, const char* unit, int decimals = 1) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f %s", decimals, v, unit);
    return buf;
}
void add(const std::string& what, const std::string& value) {
    rows.push_back({what, value});
    std::fprintf(stderr, "  %-58s %s\n", what.c_str(), value.c_str());
}
void add(const std::string& what, const Timing& t) {
    add(what, fmt(t.median, "ms", 2) + "  (" + std::to_string(t.lines) + " lines)");
}

struct QuerySet {
    std::string label;
    std::string tree;
    std::map<std::string, std::string> env;
    std::string plocateDb;
};

// Dump mode is the whole search core as one process: planning, mdfind,
// the candidate set, the plain order and the first 20 lines.
void compareDump(const QuerySet& q, const std::string& bin, int repeat) {
    auto& env = q.env;
    if (::access((bin + "/quillfind").c_str(), X_OK) == 0) {
        auto dumpEnv = env;
        dumpEnv["QUILLFIND_DUMP"] = "1";
        std::vector<double> ratios;
        for (const char* query : {"report", "report draft"}) {
            dumpEnv["QUILLFIND_QUERY"] = query;
            ratios.clear();
            for (int i = 0; i < repeat; ++i) {
                // Paired, in alternating order, so a busy moment weighs on both.
                double d, p;
                if (i % 2 == 0) {
                    d = run({bin + "/quillfind"}, dumpEnv).ms;
                    p = run({"plocate", "-i", "-b", "-d", q.plocateDb, "report"}).ms;
                } else {
                    p = run({"plocate", "-i", "-b", "-d", q.plocateDb, "report"}).ms;
                    d = run({bin + "/quillfind"}, dumpEnv).ms;
                }
                ratios.push_back(d / std::max(0.001, p));
            }
            std::sort(ratios.begin(), ratios.end());
            add(q.label + ": dump mode '" + query + "' / plocate -i -b report",
                fmt(ratios[ratios.size() / 2], "x", 2) + "  (median of " + std::to_string(repeat) + " pairs, " +
                    fmt(ratios.front(), "-", 2) + fmt(ratios.back(), "", 2) + ")");
        }
    }
}

void compareQueries(const QuerySet& q, const std::string& bin, int repeat, bool fdfind, bool plocate) {
    const std::string md = bin + "/mdfind";
    auto& env = q.env;
    Timing name = medianOf(repeat, [&] { return run({md, "-name", "quarterly"}, env); });
    add(q.label + ": mdfind -name quarterly", name);
    add(q.label + ": mdfind \"kMDItemFSName == '*report*.pdf'cd\"", medianOf(repeat, [&] {
            return run({md, "kMDItemFSName == '*report*.pdf'cd"}, env);
        }));
    add(q.label + ": mdfind \"kMDItemFSName == 'report?.txt'cd\"", medianOf(repeat, [&] {
            return run({md, "kMDItemFSName == 'report?.txt'cd"}, env);
        }));
    add(q.label + ": mdfind recent files | head -2000", medianOf(repeat, [&] {
            return run({"/bin/sh", "-c", md + " 'kMDItemFSContentChangeDate >= $time.today(-1d)' | head -2000"}, env);
        }));
    Timing broad = medianOf(repeat, [&] { return run({md, "-name", "e"}, env); });
    add(q.label + ": mdfind -name e (very broad)", broad);
    double plocateMs = 0;
    if (plocate) {
        Timing p = medianOf(repeat, [&] { return run({"plocate", "-i", "-b", "-d", q.plocateDb, "quarterly"}); });
        plocateMs = p.median;
        add(q.label + ": plocate -i -b quarterly", p);
        add(q.label + ": plocate -i -b '*report*.pdf'", medianOf(repeat, [&] {
                return run({"plocate", "-i", "-b", "-d", q.plocateDb, "*report*.pdf"});
            }));
        add(q.label + ": plocate -i -b e (very broad)", medianOf(repeat, [&] {
                return run({"plocate", "-i", "-b", "-d", q.plocateDb, "e"});
            }));
    }
    Timing find = medianOf(3, [&] { return run({"find", q.tree, "-iname", "*quarterly*"}); });
    add(q.label + ": find -iname '*quarterly*'", find);
    if (fdfind)
        add(q.label + ": fdfind -u -i -F quarterly", medianOf(3, [&] {
                return run({"fdfind", "-u", "-i", "-F", "quarterly", q.tree});
            }));
    if (plocate)
        add(q.label + ": mdfind -name vs plocate -i -b",
            fmt(plocateMs / name.median, "x (plocate time / mdfind time)", 2));
    if (plocate) compareDump(q, bin, repeat);
    add(q.label + ": mdfind -name vs find -iname", fmt(find.median / name.median, "x faster", 0));
}

// Crawls, stops the service, edits files in place (their folders' times do
// not move), restarts and times the catch-up until the service is idle
// again; checks that every edit was seen. find -newer examines every entry
// of the same tree, as the catch-up does, and gives the peer ratio.
void compareCatchUp(const std::string& tree, const std::string& work, const std::string& bin) {
    const std::string idx = work + "/idx-catch-up";
    std::map<std::string, std::string> env = {{"QUILLFIND_INDEX_ROOTS", tree}, {"QUILLFIND_INDEX_DIR", idx}};
    stopService(idx);
    fs::remove_all(idx);
    ServiceRun first = startAndCrawl(env, bin);
    stopService(idx);
    // A time no file of the tree has (the tree's times are whole days back).
    const int64_t editTime = std::time(nullptr) - 5 * 3600 - 17;
    size_t edits = 0, seen = 0;
    {
        size_t k = 0;
        for (const auto& item : fs::recursive_directory_iterator(tree)) {
            if (!item.is_regular_file() || ++k % 1000 != 0) continue;
            timespec t[2] = {{0, UTIME_OMIT}, {editTime, 0}};
            if (::utimensat(AT_FDCWD, item.path().c_str(), t, 0) == 0) ++edits;
        }
    }
    auto restart = Clock::now();
    run({bin + "/quillfind-indexd", "--daemonize"}, env);
    qf::index::ServiceStatus status;
    while (!idle(status = statusOf(env))) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    double catchUpMs = msSince(restart);
    size_t serviceMs = static_cast<size_t>(status.lastCrawlMs.value_or(0));
    {
        std::string socket = idx + "/" + qf::protocol::kSocketName;
        qf::Expected<qf::UniqueFd> fd = qf::connectUnixSocket(socket);
        qf::index::Request edited;
        edited.op = qf::index::Request::Op::changedBetween;
        edited.notBefore = editTime;
        edited.before = editTime + 1;
        edited.countOnly = true;
        if (fd)
            (void)qf::index::exchange(fd->get(), edited, [&](const qf::index::ReplyRecord& r) {
                if (r.tag == qf::protocol::kTagCount) seen = std::strtoull(std::string(r.payload).c_str(), nullptr, 10);
                return true;
            });
    }
    stopService(idx);
    const std::string stamp = work + "/catch-up-stamp";
    std::ofstream(stamp) << "x";
    Timing find = medianOf(3, [&] { return run({"find", tree, "-newer", stamp}); });
    add("1M tree: first crawl (before the restart)",
        fmt(first.crawlMs, "ms", 0) + "  (" + std::to_string(first.entries) + " entries)");
    add("1M tree: catch-up after restart, until idle",
        fmt(catchUpMs, "ms", 0) + "  (service: " + std::to_string(serviceMs) + " ms)");
    add("1M tree: files edited while down, seen after the catch-up",
        std::to_string(seen) + " of " + std::to_string(edits));
    add("1M tree: find -newer (examines every entry, median of 3)", fmt(find.median, "ms", 0));
    add("1M tree: catch-up / find -newer", fmt(catchUpMs / std::max(1.0, find.median), "x", 2));
}

}  // namespace

int main(int argc, char** argv) {
    size_t entries = 1000000;
    std::string base = "/var/tmp";
    bool usr = true, keep = false, treeOnly = false, crawlOnly = false, catchUpOnly = false, dumpOnly = false;
    bool secondWider = false;
    std::string existingTree;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--entries" && i + 1 < argc)
            entries = std::strtoull(argv[++i], nullptr, 10);
        else if (a == "--dir" && i + 1 < argc)
            base = argv[++i];
        else if (a == "--no-usr")
            usr = false;
        else if (a == "--keep")
            keep = true;
        else if (a == "--tree-only")
            treeOnly = true;
        else if (a == "--crawl-only")
            crawlOnly = true;
        else if (a == "--catch-up-only")
            catchUpOnly = true;
        else if (a == "--tree" && i + 1 < argc)
            existingTree = argv[++i];
        else if (a == "--shape" && i + 1 < argc && std::string(argv[i + 1]) == "second-wider")
            secondWider = true, ++i;
        else if (a == "--dump-only")
            dumpOnly = true;
        else {
            std::fprintf(
                stderr,
                "usage: bench_index [--entries N] [--dir FOLDER] [--no-usr] [--keep] [--tree-only] [--tree EXISTING] "
                "[--crawl-only] [--catch-up-only] [--shape second-wider] [--dump-only]\n");
            return 2;
        }
    }
    const std::string bin = selfDir();
    const bool plocate = haveTool("plocate") && haveTool("updatedb");
    const bool fdfind = haveTool("fdfind");
    std::string tmpl = base + "/quillfind-bench-XXXXXX";
    std::string work = ::mkdtemp(tmpl.data());
    const std::string tree = existingTree.empty() ? work + "/tree" : existingTree;
    std::fprintf(stderr, "bench_index: work folder %s\n", work.c_str());
    if (existingTree.empty()) {
        fs::create_directories(tree);
        auto t0 = Clock::now();
        size_t made = TreeMaker(entries, secondWider).build(tree);
        add("synthetic tree: entries created", std::to_string(made) + " in " + fmt(msSince(t0) / 1000, "s"));
    } else {
        add("synthetic tree: reused", tree);
    }
    if (treeOnly) {
        std::printf("%s\n", tree.c_str());
        return 0;
    }

    if (catchUpOnly) {
        compareCatchUp(tree, work, bin);
        std::printf("\n%-60s %s\n", "measure", "value");
        for (const Row& r : rows) std::printf("%-60s %s\n", r.what.c_str(), r.value.c_str());
        if (!keep) fs::remove_all(work);
        return 0;
    }

    std::map<std::string, std::string> env = {{"QUILLFIND_INDEX_ROOTS", tree}, {"QUILLFIND_INDEX_DIR", work + "/idx"}};
    if (dumpOnly) {
        if (!plocate) {
            std::fprintf(stderr, "bench_index: --dump-only compares with plocate, which is missing\n");
            return 2;
        }
        const std::string db = work + "/plocate.db";
        run({"updatedb", "-l", "no", "--prunepaths", "", "--prunefs", "", "--prunenames", "", "-U", tree, "-o", db});
        startAndCrawl(env, bin);
        const std::string label = secondWider ? "second-wider tree" : "tree";
        for (const char* term : {"report", "draft"})
            add(label + ": mdfind -name " + term, medianOf(3, [&] {
                    return run({bin + "/mdfind", "-name", term}, env);
                }));
        compareDump({label, tree, env, db}, bin, 7);
        stopService(work + "/idx");
        std::printf("\n%-60s %s\n", "measure", "value");
        for (const Row& r : rows) std::printf("%-60s %s\n", r.what.c_str(), r.value.c_str());
        if (!keep) fs::remove_all(work);
        return 0;
    }

    // The crawl against fdfind and bfs listing the same tree, in alternating
    // order, so that a busy moment of the machine weighs on all (caches are
    // warm for all).
    ServiceRun s;
    {
        const bool bfs = haveTool("bfs");
        std::vector<double> fdMs, bfsMs, crawlMs, timesMs, peakMb, fdRatios, bfsRatios;
        for (int round = 0; round < 5; ++round) {
            stopService(work + "/idx");
            fs::remove_all(work + "/idx");
            double fd = 0, bf = 0;
            auto listers = [&] {
                if (fdfind) fd = run({"fdfind", "-uu", "--one-file-system", ".", tree}).ms;
                if (bfs) bf = run({"bfs", tree, "-xdev"}).ms;
            };
            if (round % 2 == 0) listers();
            s = startAndCrawl(env, bin);
            if (round % 2 == 1) {
                stopService(work + "/idx");
                listers();
            }
            fdMs.push_back(fd);
            bfsMs.push_back(bf);
            crawlMs.push_back(s.crawlMs);
            timesMs.push_back(s.timesMs);
            peakMb.push_back(s.peakKb / 1024.0);
            fdRatios.push_back(s.crawlMs / std::max(1.0, fd));
            bfsRatios.push_back(s.crawlMs / std::max(1.0, bf));
            std::fprintf(stderr, "  round %d: names %.0f ms, times %.0f ms, fdfind %.0f ms, bfs %.0f ms\n", round,
                         s.crawlMs, s.timesMs, fd, bf);
        }
        const std::string crawled = tree == "/" ? "whole disk" : "tree";
        auto median = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        if (fdfind) add(crawled + ": fdfind -uu --one-file-system . (median of 5)", fmt(median(fdMs), "ms", 0));
        if (bfs) add(crawled + ": bfs -xdev (median of 5)", fmt(median(bfsMs), "ms", 0));
        add(crawled + ": quillfind-indexd first crawl, every name searchable (median of 5)",
            fmt(median(crawlMs), "ms", 0) + "  (service: " + std::to_string(s.internalMs) + " ms; " +
                std::to_string(s.entries) + " entries)");
        add(crawled + ": ... and every change time read (median of 5)", fmt(median(timesMs), "ms", 0));
        add(crawled + ": service peak memory during the crawl (median of 5)", fmt(median(peakMb), "MiB", 0));
        if (fdfind) add(crawled + ": crawl / fdfind (median of the 5 rounds)", fmt(median(fdRatios), "x", 2));
        if (bfs) add(crawled + ": crawl / bfs (median of the 5 rounds)", fmt(median(bfsRatios), "x", 2));
    }
    if (crawlOnly) {
        stopService(work + "/idx");
        if (!keep) fs::remove_all(work);
        return 0;
    }
    std::string db = work + "/plocate.db";
    if (plocate) {
        Run u = run(
            {"updatedb", "-l", "no", "--prunepaths", "", "--prunefs", "", "--prunenames", "", "-U", tree, "-o", db});
        add("1M tree: updatedb (plocate database)", fmt(u.ms, "ms", 0));
    }

    add("1M tree: service RSS", fmt(s.rssKb / 1024.0, "MiB") + "  (" +
                                    fmt(s.rssKb * 1024.0 / std::max<size_t>(1, s.entries), "bytes/entry") + ")");

    compareQueries({"1M tree", tree, env, db}, bin, 7, fdfind, plocate);

    // Changes: median of five creations and five deletions.
    std::vector<double> created, deleted;
    for (int i = 0; i < 5; ++i) {
        created.push_back(visibilityDelayMs(env, bin, tree, i, true));
        deleted.push_back(visibilityDelayMs(env, bin, tree, i, false));
    }
    std::sort(created.begin(), created.end());
    std::sort(deleted.begin(), deleted.end());
    add("1M tree: file created -> visible in mdfind (median of 5)", fmt(created[2], "ms"));
    add("1M tree: file deleted -> gone from mdfind (median of 5)", fmt(deleted[2], "ms"));

    // Snapshot: written on SIGTERM, loaded at the next start.
    stopService(work + "/idx");
    auto snapshotSize = fs::file_size(work + "/idx/index.snapshot");
    add("1M tree: snapshot size",
        fmt(snapshotSize / 1048576.0, "MiB") + "  (" +
            fmt(static_cast<double>(snapshotSize) / std::max<size_t>(1, s.entries), "bytes/entry") + ")");
    // The scan itself, in process, on the snapshot's index.
    {
        qf::index::IndexStore store;
        auto loadStart = Clock::now();
        if (qf::index::loadSnapshot(work + "/idx/index.snapshot", store).valueOr(qf::index::SnapshotLoad::missing) ==
            qf::index::SnapshotLoad::loaded) {
            add("1M tree: snapshot load in process", fmt(msSince(loadStart), "ms"));
            unsigned cores = std::max(1u, std::thread::hardware_concurrency());
            auto scan = [&](const char* what, unsigned threads, const std::function<size_t()>& once) {
                std::vector<double> ms;
                size_t hits = 0;
                for (int i = 0; i < 21; ++i) {
                    auto t = Clock::now();
                    hits = once();
                    ms.push_back(msSince(t));
                }
                std::sort(ms.begin(), ms.end());
                add(std::string("1M tree: in-service scan ") + what + ", " + std::to_string(threads) + " thread(s)",
                    fmt(ms[ms.size() / 2], "ms", 2) + "  (" + std::to_string(hits) + " hits)");
            };
            for (unsigned threads : {1u, cores}) {
                scan("contains 'quarterly'", threads,
                     [&] { return qf::index::findContaining(store, "quarterly", threads).size(); });
                scan("glob '*report*.pdf'cd", threads, [&] {
                    return qf::index::findMatching(store, qf::index::globTokensFromText("*report*.pdf"), {true, true},
                                                   threads)
                        .size();
                });
                scan("changed since yesterday", threads, [&] {
                    return qf::index::findChanged(store, std::time(nullptr) - 86400, INT64_MAX, threads).size();
                });
            }
        }
    }

    auto restart = Clock::now();
    run({bin + "/quillfind-indexd", "--daemonize"}, env);
    double toFirstAnswer = msSince(restart);
    Run first = run({bin + "/mdfind", "-name", "quarterly"}, env);
    add("1M tree: restart with snapshot -> accepting queries",
        fmt(toFirstAnswer, "ms", 0) + "  (first answer " + std::to_string(first.lines) + " lines)");
    {
        std::ifstream log(work + "/idx/indexd.log");
        std::string line, loaded;
        while (std::getline(log, line))
            if (line.find("snapshot loaded") != std::string::npos) loaded = line.substr(line.find("snapshot loaded"));
        add("1M tree: snapshot load (service log)", loaded);
    }
    while (!idle(statusOf(env))) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    add("1M tree: catch-up rescan after restart", fmt(msSince(restart), "ms", 0));
    stopService(work + "/idx");

    if (usr) {
        std::map<std::string, std::string> usrEnv = {{"QUILLFIND_INDEX_ROOTS", "/usr"},
                                                     {"QUILLFIND_INDEX_DIR", work + "/idx-usr"}};
        if (fdfind)
            add("/usr: fdfind -u . (full listing)", medianOf(3, [&] { return run({"fdfind", "-u", ".", "/usr"}); }));
        std::string usrDb = work + "/plocate-usr.db";
        if (plocate) {
            Run u = run({"updatedb", "-l", "no", "--prunepaths", "", "--prunefs", "", "--prunenames", "", "-U", "/usr",
                         "-o", usrDb});
            add("/usr: updatedb (plocate database)", fmt(u.ms, "ms", 0));
        }
        ServiceRun us = startAndCrawl(usrEnv, bin);
        add("/usr: quillfind-indexd full crawl, names and times",
            fmt(us.crawlMs, "ms", 0) + "  (service: " + std::to_string(us.internalMs) + " ms; " +
                std::to_string(us.entries) + " entries)");
        add("/usr: service RSS", fmt(us.rssKb / 1024.0, "MiB") + "  (" +
                                     fmt(us.rssKb * 1024.0 / std::max<size_t>(1, us.entries), "bytes/entry") + ")");
        const std::string md = bin + "/mdfind";
        add("/usr: mdfind -name python", medianOf(7, [&] { return run({md, "-name", "python"}, usrEnv); }));
        if (plocate)
            add("/usr: plocate -i -b python", medianOf(7, [&] {
                    return run({"plocate", "-i", "-b", "-d", usrDb, "python"});
                }));
        add("/usr: find -iname '*python*'", medianOf(3, [&] { return run({"find", "/usr", "-iname", "*python*"}); }));
        if (fdfind)
            add("/usr: fdfind -u -i -F python", medianOf(3, [&] {
                    return run({"fdfind", "-u", "-i", "-F", "python", "/usr"});
                }));
        stopService(work + "/idx-usr");
    }

    std::printf("\n%-60s %s\n", "measure", "value");
    std::printf("%s\n", std::string(100, '-').c_str());
    for (const Row& r : rows) std::printf("%-60s %s\n", r.what.c_str(), r.value.c_str());
    if (!keep)
        fs::remove_all(work);
    else
        std::printf("kept %s\n", work.c_str());
    return 0;
}
