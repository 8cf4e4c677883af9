// The desktop search provider as a desktop shell sees it, over a private
// session bus to the real program, on a tree the index benchmark made:
//
// 1. Answer time per method (GetInitialResultSet, GetSubsearchResultSet,
//    GetResultMetas, KRunner's Match) for a common, a rare, a Chinese and a
//    two-word query: median and 95th percentile, the median beyond a bare
//    D-Bus round trip (Peer.Ping of the same provider), the processor time
//    the provider and the index service spent per call (the figure a busy
//    machine changes least), and the ratio to plocate listing the same
//    words from its own database of the tree.
// 2. Many callers at once (--callers N --seconds S): each types a keystroke
//    every --interval ms without waiting for answers; counts the answers,
//    the searches a caller's own newer keystroke superseded, and errors.
//    With --burst K --pause MS each types K keystrokes, then pauses, as
//    people do: then also how many bursts had their last search answered,
//    and how long after its keystroke.
//
//   bench_search_provider --tree DIR [--repeat N] [--callers N] [--seconds S] [--interval MS]
//                         [--burst K --pause MS]
//
// Make the tree with: build/bin/bench_index --tree-only --dir /var/tmp
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

namespace {

const QString kService = QStringLiteral("org.quillfind.Quillfind.SearchProvider");
const QString kPath = QStringLiteral("/org/quillfind/Quillfind/SearchProvider");
const QString kGnome = QStringLiteral("org.gnome.Shell.SearchProvider2");
const QString kSuperseded = QStringLiteral("org.quillfind.Quillfind.Error.Superseded");

struct Query {
    const char* kind;
    QStringList terms;        // as GNOME Shell splits the typed text
    QStringList plocateArgs;  // the same words put to plocate
};

struct Spread {
    double median = 0, p95 = 0;
};

Spread spreadOf(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) {
        return ms[std::min(ms.size() - 1, static_cast<size_t>(q * (ms.size() - 1) + 0.5))];
    };
    return {at(0.5), at(0.95)};
}

Spread timed(int repeat, const std::function<void()>& once) {
    once();  // the first answer warms the caches of both sides
    std::vector<double> ms;
    for (int i = 0; i < repeat; ++i) {
        QElapsedTimer t;
        t.start();
        once();
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    return spreadOf(ms);
}

// Processor time (user and system) a process has used so far, in ms.
double cpuMs(qint64 pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    // The fields after the command name, which may hold spaces, in parentheses.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i) fields >> skip;
    double user = 0, system = 0;
    fields >> user >> system;
    return (user + system) * 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// The provider and the index service, whose processor time a call costs.
std::vector<qint64> measured;

double cpuOfMeasured() {
    double sum = 0;
    for (qint64 pid : measured) sum += cpuMs(pid);
    return sum;
}

QByteArray run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(-1);
    return p.readAllStandardOutput();
}

QDBusMessage call(const QString& interface, const QString& method, const QVariantList& args) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, interface, method);
    message.setArguments(args);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(message, QDBus::Block, 60000);
    if (reply.type() == QDBusMessage::ErrorMessage)
        std::fprintf(stderr, "%s: %s\n", qPrintable(method), qPrintable(reply.errorMessage()));
    return reply;
}

QStringList ids(const QStringList& terms) {
    return call(kGnome, QStringLiteral("GetInitialResultSet"), {terms}).arguments().value(0).toStringList();
}

// The terms one character shorter, as they stood a keystroke before.
QStringList keystrokeBefore(QStringList terms) {
    QString& last = terms.last();
    last.chop(1);
    if (last.isEmpty()) terms.removeLast();
    return terms;
}

void answerTimes(const std::vector<Query>& queries, int repeat, const QString& db) {
    const Spread ping =
        timed(repeat, [] { call(QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"), {}); });
    std::printf("D-Bus round trip (Peer.Ping of the provider): median %.2f ms, p95 %.2f ms\n\n", ping.median, ping.p95);
    std::printf("%-10s %-16s %-22s %8s %8s %8s %9s %8s %9s %8s %7s\n", "query", "terms", "method", "results", "median",
                "p95", "-ping", "cpu", "plocate", "lines", "ratio");
    for (const Query& q : queries) {
        const QStringList answer = ids(q.terms);
        const QStringList before = ids(keystrokeBefore(q.terms));
        double plocateMs = 0;
        int lines = 0;
        if (!db.isEmpty()) {
            QStringList args = q.plocateArgs;
            args << QStringLiteral("-d") << db;
            plocateMs = timed(repeat, [&] {
                            lines = static_cast<int>(run(QStringLiteral("plocate"), args).count('\n'));
                        }).median;
        }
        const QString query = q.terms.join(' ');
        const struct {
            const char* name;
            QString interface, method;
            QVariantList args;
        } methods[] = {
            {"GetInitialResultSet", kGnome, QStringLiteral("GetInitialResultSet"), {q.terms}},
            {"GetSubsearchResultSet", kGnome, QStringLiteral("GetSubsearchResultSet"), {before, q.terms}},
            {"GetResultMetas", kGnome, QStringLiteral("GetResultMetas"), {answer}},
            {"KRunner Match", QStringLiteral("org.kde.krunner1"), QStringLiteral("Match"), {query}},
        };
        for (const auto& m : methods) {
            const double cpuBefore = cpuOfMeasured();
            const Spread s = timed(repeat, [&] { call(m.interface, m.method, m.args); });
            const double cpu = (cpuOfMeasured() - cpuBefore) / (repeat + 1);
            std::printf("%-10s %-16s %-22s %8lld %8.2f %8.2f %9.2f %8.2f %9.2f %8d %6.2fx\n", q.kind, qPrintable(query),
                        m.name, static_cast<long long>(answer.size()), s.median, s.p95, s.median - ping.median, cpu,
                        plocateMs, lines, plocateMs > 0 ? s.median / plocateMs : 0.0);
        }
    }
}

struct Typing {
    int interval = 100;  // ms between keystrokes
    int burst = 0;       // keystrokes before a pause; 0: no pauses
    int pause = 0;       // ms
};

// One caller: its own connection, typing without waiting for answers.
class Caller : public QObject {
public:
    Caller(int index, const QString& address, const std::vector<Query>& queries, Typing typing)
        : name_(QStringLiteral("caller%1").arg(index)),
          bus_(QDBusConnection::connectToBus(address, name_)),
          queries_(queries),
          typing_(typing),
          next_(index) {
        timer_.setInterval(typing.interval);
        connect(&timer_, &QTimer::timeout, this, &Caller::tick);
        // Callers start spread over one interval, as people do.
        QTimer::singleShot(index * typing.interval / 50, this, [this] { timer_.start(); });
    }
    ~Caller() override { QDBusConnection::disconnectFromBus(name_); }
    void stop() { timer_.stop(); }
    int answered = 0, superseded = 0, failed = 0, pending = 0, bursts = 0;
    std::vector<double> lastAnswerMs;  // from a burst's last keystroke to its answer

private:
    void tick() {
        const int cycle = typing_.burst + typing_.pause / typing_.interval;
        const int at = ticks_++ % std::max(1, cycle);
        if (typing_.burst > 0 && at >= typing_.burst) return;
        const bool last = typing_.burst > 0 && at == typing_.burst - 1;
        if (last) ++bursts;
        const Query& q = queries_[static_cast<size_t>(next_++) % queries_.size()];
        QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kGnome, "GetInitialResultSet");
        message.setArguments({q.terms});
        ++pending;
        QElapsedTimer sent;
        sent.start();
        auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message, 60000), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, last, sent](QDBusPendingCallWatcher* w) {
            --pending;
            if (!w->isError()) {
                ++answered;
                if (last) lastAnswerMs.push_back(static_cast<double>(sent.nsecsElapsed()) / 1e6);
            } else if (w->error().name() == kSuperseded) {
                ++superseded;
            } else {
                ++failed;
            }
            w->deleteLater();
        });
    }

    QString name_;
    QDBusConnection bus_;
    const std::vector<Query>& queries_;
    Typing typing_;
    int next_, ticks_ = 0;
    QTimer timer_;
};

void manyCallers(const QString& address, const std::vector<Query>& queries, int callers, int seconds, Typing typing) {
    std::vector<std::unique_ptr<Caller>> all;
    for (int i = 0; i < callers; ++i) all.push_back(std::make_unique<Caller>(i, address, queries, typing));
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < seconds * 1000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    for (auto& c : all) c->stop();
    const auto outstanding = [&] {
        int n = 0;
        for (auto& c : all) n += c->pending;
        return n;
    };
    while (outstanding() > 0 && t.elapsed() < (seconds + 60) * 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    int answered = 0, superseded = 0, failed = 0, fewest = -1, bursts = 0;
    std::vector<double> lastAnswerMs;
    for (auto& c : all) {
        answered += c->answered;
        superseded += c->superseded;
        failed += c->failed;
        bursts += c->bursts;
        lastAnswerMs.insert(lastAnswerMs.end(), c->lastAnswerMs.begin(), c->lastAnswerMs.end());
        fewest = fewest < 0 ? c->answered : std::min(fewest, c->answered);
    }
    std::printf(
        "\n%d callers for %d s, a keystroke every %d ms each: %d searches, %d answered, %d superseded by "
        "the caller's own next keystroke, %d failed, %d unanswered; the caller answered least: %d\n",
        callers, seconds, typing.interval, answered + superseded + failed + outstanding(), answered, superseded, failed,
        outstanding(), fewest);
    if (typing.burst > 0 && !lastAnswerMs.empty()) {
        const Spread s = spreadOf(lastAnswerMs);
        std::printf(
            "bursts of %d keystrokes, then %d ms of pause: %d bursts, %zu with their last search answered, "
            "%.1f ms after its keystroke (median; p95 %.1f ms)\n",
            typing.burst, typing.pause, bursts, lastAnswerMs.size(), s.median, s.p95);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString tree;
    int repeat = 40, callers = 0, seconds = 60;
    Typing typing;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const bool more = i + 1 < args.size();
        if (args[i] == "--tree" && more)
            tree = args[++i];
        else if (args[i] == "--repeat" && more)
            repeat = std::max(1, args[++i].toInt());
        else if (args[i] == "--callers" && more)
            callers = std::max(0, args[++i].toInt());
        else if (args[i] == "--seconds" && more)
            seconds = std::max(1, args[++i].toInt());
        else if (args[i] == "--interval" && more)
            typing.interval = std::max(1, args[++i].toInt());
        else if (args[i] == "--burst" && more)
            typing.burst = std::max(0, args[++i].toInt());
        else if (args[i] == "--pause" && more)
            typing.pause = std::max(0, args[++i].toInt());
    }
    if (tree.isEmpty() || !QDir(tree).exists()) {
        std::fprintf(stderr,
                     "usage: bench_search_provider --tree DIR [--repeat N] [--callers N] [--seconds S] "
                     "[--interval MS] [--burst K --pause MS]\n");
        return 2;
    }
    const QString bin = QCoreApplication::applicationDirPath();
    QTemporaryDir work(QStringLiteral("/var/tmp/quillfind-provider-bench-XXXXXX"));
    qputenv("QUILLFIND_INDEX_ROOTS", tree.toUtf8());
    qputenv("QUILLFIND_INDEX_DIR", (work.path() + "/idx").toUtf8());
    qputenv("QUILLFIND_DEBUG_LOG", (work.path() + "/debug.log").toUtf8());
    qputenv("XDG_CONFIG_HOME", (work.path() + "/config").toUtf8());
    // Long enough for every part of the run.
    qputenv("QUILLFIND_PROVIDER_IDLE_SECONDS", "3600");
    // Run as root, the service would follow the whole disk with fanotify,
    // and every file another program writes meanwhile would be its work
    // too; a desktop user's service watches its own folders.
    qputenv("QUILLFIND_INDEX_FANOTIFY", "0");

    QProcess bus;
    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (!bus.waitForReadyRead(10000)) return std::fprintf(stderr, "dbus-daemon did not start\n"), 1;
    const QByteArray address = bus.readLine().trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);

    QElapsedTimer crawl;
    crawl.start();
    QProcess provider;
    provider.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    provider.start(bin + "/quillfind-search-provider");
    while (!run(bin + "/mdfind", {"--status"}).contains("state: idle")) QThread::msleep(200);
    std::fprintf(stderr, "index of %s ready after %.1f s\n", qPrintable(tree), crawl.elapsed() / 1000.0);
    measured = {provider.processId()};
    QFile lock(work.path() + "/idx/indexd.lock");
    if (lock.open(QIODevice::ReadOnly)) measured.push_back(lock.readAll().trimmed().toLongLong());

    QString db;
    if (!QStandardPaths::findExecutable("plocate").isEmpty()) {
        db = work.path() + "/plocate.db";
        run("updatedb", {"-l", "no", "--prunepaths", "", "--prunefs", "", "--prunenames", "", "-U", tree, "-o", db});
    }
    const std::vector<Query> queries = {
        {"common", {"report"}, {"-i", "-b", "report"}},
        {"rare", {"quarterly"}, {"-i", "-b", "quarterly"}},
        {"Chinese", {"报告"}, {"-i", "-b", "报告"}},
        {"two-word", {"meeting", "notes"}, {"-i", "-b", "-A", "meeting", "notes"}},
        {"suffix", {"report", ".pdf"}, {"-i", "-b", "*report*.pdf"}},
    };
    answerTimes(queries, repeat, db);
    if (callers > 0) manyCallers(QString::fromUtf8(address), queries, callers, seconds, typing);

    provider.terminate();
    provider.waitForFinished(5000);
    QFile lockFile(work.path() + "/idx/indexd.lock");
    if (lockFile.open(QIODevice::ReadOnly)) {
        const pid_t pid = lockFile.readAll().trimmed().toInt();
        if (pid > 1) ::kill(pid, SIGTERM);
        for (int i = 0; i < 100 && pid > 1 && ::kill(pid, 0) == 0; ++i) QThread::msleep(50);
    }
    bus.terminate();
    bus.waitForFinished(5000);
    return 0;
}
