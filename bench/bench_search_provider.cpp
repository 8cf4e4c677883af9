// The desktop search provider's answer time, as a desktop shell sees it:
// GetInitialResultSet over a private session bus to the real program, on a
// tree the index benchmark made, against plocate answering the same query
// from its own database of that tree, and against the bare mdfind questions
// the query plan asks. Prints one table; ratio is provider / plocate.
//
//   bench_search_provider --tree DIR [--repeat N]
//
// Make the tree with: build/bin/bench_index --tree-only --keep
#include <signal.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Query {
    QStringList terms;                     // as GNOME Shell splits the typed text
    QStringList plocateArgs;               // the same question put to plocate
    std::vector<QStringList> mdfindCalls;  // the index questions the plan asks, one after the other
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

QString run(const QString& program, const QStringList& args, int* lines = nullptr) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(-1);
    const QByteArray out = p.readAllStandardOutput();
    if (lines) *lines = static_cast<int>(out.count('\n'));
    return QString::fromUtf8(out);
}

template <typename F>
double medianMs(int repeat, F&& once) {
    std::vector<double> ms;
    for (int i = 0; i < repeat; ++i) {
        QElapsedTimer t;
        t.start();
        once();
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    return median(ms);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString tree;
    int repeat = 9;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--tree" && i + 1 < args.size())
            tree = args[++i];
        else if (args[i] == "--repeat" && i + 1 < args.size())
            repeat = std::max(1, args[++i].toInt());
    }
    if (tree.isEmpty() || !QDir(tree).exists()) {
        std::fprintf(stderr, "usage: bench_search_provider --tree DIR [--repeat N]\n");
        return 2;
    }
    const QString bin = QCoreApplication::applicationDirPath();
    QTemporaryDir work(QStringLiteral("/var/tmp/quillfind-provider-bench-XXXXXX"));
    qputenv("QUILLFIND_INDEX_ROOTS", tree.toUtf8());
    qputenv("QUILLFIND_INDEX_DIR", (work.path() + "/idx").toUtf8());
    qputenv("QUILLFIND_DEBUG_LOG", (work.path() + "/debug.log").toUtf8());

    QProcess bus;
    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (!bus.waitForReadyRead(10000)) return std::fprintf(stderr, "dbus-daemon did not start\n"), 1;
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.readLine().trimmed());

    QElapsedTimer crawl;
    crawl.start();
    QProcess provider;
    provider.start(bin + "/quillfind-search-provider");
    while (!run(bin + "/mdfind", {"--status"}).contains("state: idle")) QThread::msleep(200);
    std::fprintf(stderr, "index of %s ready after %.1f s\n", qPrintable(tree), crawl.elapsed() / 1000.0);

    const bool plocate = !QStandardPaths::findExecutable("plocate").isEmpty();
    const QString db = work.path() + "/plocate.db";
    if (plocate)
        run("updatedb", {"-l", "no", "--prunepaths", "", "--prunefs", "", "--prunenames", "", "-U", tree, "-o", db});

    const std::vector<Query> queries = {
        {{"quarterly"}, {"-i", "-b", "quarterly"}, {{"-name", "quarterly"}}},
        {{"report", ".pdf"}, {"-i", "-b", "*report*.pdf"}, {{"-name", "report"}}},
        {{"meeting", "notes"}, {"-i", "-b", "-A", "meeting", "notes"}, {{"-name", "meeting"}, {"-name", "notes"}}},
    };
    std::printf("%-16s %12s %8s %12s %12s %8s %8s\n", "query", "provider ms", "results", "mdfind ms", "plocate ms",
                "lines", "ratio");
    for (const Query& q : queries) {
        QDBusMessage call = QDBusMessage::createMethodCall("org.quillfind.Quillfind.SearchProvider",
                                                           "/org/quillfind/Quillfind/SearchProvider",
                                                           "org.gnome.Shell.SearchProvider2", "GetInitialResultSet");
        call.setArguments({q.terms});
        int results = 0;
        const auto ask = [&] {
            const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 60000);
            results = static_cast<int>(reply.arguments().value(0).toStringList().size());
        };
        ask();  // the first answer warms the caches of both sides
        const double providerMs = medianMs(repeat, ask);
        int lines = 0;
        double plocateMs = 0;
        if (plocate) {
            QStringList pargs = q.plocateArgs;
            pargs << "-d" << db;
            run("plocate", pargs);
            plocateMs = medianMs(repeat, [&] { run("plocate", pargs, &lines); });
        }
        // How much of the answer time the index questions alone take.
        const double mdfindMs = medianMs(repeat, [&] {
            for (const QStringList& a : q.mdfindCalls) run(bin + "/mdfind", a);
        });
        std::printf("%-16s %12.1f %8d %12.1f %12.1f %8d %7.2fx\n", qPrintable(q.terms.join(' ')), providerMs, results,
                    mdfindMs, plocateMs, lines, plocate ? providerMs / plocateMs : 0.0);
    }

    provider.terminate();
    provider.waitForFinished(5000);
    const QString lock = work.path() + "/idx/indexd.lock";
    QFile lockFile(lock);
    if (lockFile.open(QIODevice::ReadOnly)) {
        const pid_t pid = lockFile.readAll().trimmed().toInt();
        if (pid > 1) ::kill(pid, SIGTERM);
        for (int i = 0; i < 100 && pid > 1 && ::kill(pid, 0) == 0; ++i) QThread::msleep(50);
    }
    bus.terminate();
    bus.waitForFinished(5000);
    return 0;
}
