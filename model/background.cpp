#include <QCoreApplication>
#include <QMetaObject>
#include <QThreadPool>

#include "model/run_shared.h"

namespace qf {

namespace {

// Workers block in child processes and retry pauses, so the pool must not be
// bounded by the number of cores.
constexpr int kMaxWorkers = 64;

// How long the end of the application waits for workers still running: a
// search asking a hung index gives up well within it.
constexpr int kExitWaitMs = 10000;

QThreadPool& backgroundPool() {
    static QThreadPool pool;
    static const bool configured = [] {
        pool.setMaxThreadCount(kMaxWorkers);
        // Workers use Qt's and the program's globals (the MIME database, the
        // kind cache); they must be done before those are torn down after
        // the application ends.
        qAddPostRoutine([] { pool.waitForDone(kExitWaitMs); });
        return true;
    }();
    (void)configured;
    return pool;
}

}  // namespace

void runInBackground(std::function<void()> work) { backgroundPool().start(std::move(work)); }

bool waitForBackgroundIdle(int timeoutMs) { return backgroundPool().waitForDone(timeoutMs); }

void postToMain(RunShared& shared, std::function<void()> fn) {
    std::lock_guard<std::mutex> guard(shared.postLock);
    QCoreApplication* app = QCoreApplication::instance();
    if (!shared.alive.load() || app == nullptr) return;
    // Events posted to one receiver are delivered in posting order, which
    // keeps publications in the order the workers finished.
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

}  // namespace qf
