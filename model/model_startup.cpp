// The start-up sequence and the two unattended modes.
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "base/write_all.h"
#include "core/debug_log.h"
#include "model/model.h"
#include "model/run_limits.h"
#include "model/run_shared.h"
#include "model/stress.h"

namespace qf {

namespace {

// A variable that is set but empty counts as not set.
std::optional<std::string> envValue(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

}  // namespace

void Model::start() {
    if (auto query = envValue("QUILLFIND_QUERY")) {
        setText(std::move(*query));
        run();
        return;
    }
    if (auto stress = envValue("QUILLFIND_STRESS")) {
        stressTest(splitStressQueries(*stress));
        return;
    }
    run();
    if (auto simulated = envValue("QUILLFIND_SIMULATE")) {
        // The timer's context is the Model: it never fires once the Model is gone.
        QTimer::singleShot(kSimulateDelay, Qt::PreciseTimer, this, [this, value = std::move(*simulated)] {
            dbg("SIMULATE '" + value + "'");
            setText(value);
            textChanged();
        });
    }
}

void Model::stressTest(std::vector<std::string> queries) {
    runInBackground([queries = std::move(queries)] {
        runStress(queries, writeStderrLine);
        // The stress run ends the process whatever the window is doing; the
        // lines are already written unbuffered, and nothing else must run
        // after them (a normal exit would wait for this very thread).
        std::fflush(stderr);
        std::_Exit(0);
    });
}

}  // namespace qf
