// The search runs of the Model: debounce, planning, the two workers and the
// publication of their results.
#include <QPointer>

#include "core/debug_log.h"
#include "core/shell.h"
#include "core/text.h"
#include "core/tokenizer.h"
#include "model/model.h"
#include "model/model_state.h"
#include "model/name_query.h"
#include "model/recent_files.h"
#include "model/search_plan.h"

namespace qf {

void Model::textChanged() {
    // start() on a running single-shot timer restarts it: only the last edit
    // of a burst runs.
    d_->debounce->start();
}

void Model::refresh() {
    d_->debounce->stop();
    run();
}

void Model::run() {
    const std::int64_t s = d_->shared->serial.fetch_add(1) + 1;
    QueryRunner::shared().cancelAll();
    dbg("run#" + std::to_string(s) + " text='" + d_->text + "'");

    assignHits({});
    assignTotal(0);
    setSelectedPath(std::nullopt);
    assignGathering(true);

    const std::string query = trimSpaces(d_->text);
    if (query.empty()) {
        assignSortKey(SortKey::date);
        assignSortAsc(false);
        startRecentFiles(s);
        return;
    }
    std::vector<std::string> tokens = strTokenize(query);
    if (tokens.empty()) {
        assignGathering(false);
        return;
    }

    PlanOutcome outcome = planSearch(std::move(tokens), d_->regexMode, caseSensitive());
    if (const auto* stop = std::get_if<PlanStop>(&outcome)) {
        if (*stop == PlanStop::expressionUnusable) {
            assignTotal(0);
            assignHits({});
        }
        assignGathering(false);
        return;
    }
    SearchPlan plan = std::get<SearchPlan>(std::move(outcome));
    plan.serial = s;
    startNameQuery(std::move(plan));
}

void Model::startNameQuery(SearchPlan plan) {
    auto shared = d_->shared;
    QPointer<Model> model(this);
    runInBackground([shared, model, plan = std::move(plan)]() mutable {
        if (!shared->alive.load()) return;
        auto result = runNameQuery(plan, *shared);
        if (!result) return;
        postToMain(*shared, [model, s = plan.serial, result = std::move(*result)]() mutable {
            if (model) model->publishNameQuery(s, result.candidates, std::move(result.hits));
        });
    });
}

void Model::startRecentFiles(std::int64_t s) {
    auto shared = d_->shared;
    QPointer<Model> model(this);
    runInBackground([shared, model, s] {
        auto result = runRecentFiles(s, *shared);
        if (!result) return;
        postToMain(*shared, [model, s, result = std::move(*result)]() mutable {
            if (model) model->publishRecentFiles(s, result.paths, std::move(result.hits));
        });
    });
}

void Model::publishNameQuery(std::int64_t s, std::int64_t candidates, std::vector<Hit> hits) {
    const std::int64_t current = serial();
    if (current != s) {
        dbg("skip#" + std::to_string(s) + " serial=" + std::to_string(current));
        return;
    }
    assignTotal(candidates);
    assignHits(std::move(hits));
    assignGathering(false);
    applySort();
    dbg("publish#" + std::to_string(s) + " total=" + std::to_string(d_->total));
}

void Model::publishRecentFiles(std::int64_t s, std::int64_t paths, std::vector<Hit> hits) {
    const std::int64_t current = serial();
    if (current != s) {
        dbg("first-skip#" + std::to_string(s) + " serial=" + std::to_string(current));
        return;
    }
    assignTotal(paths);
    assignHits(std::move(hits));
    assignGathering(false);
    applySort();
    dbg("first-done#" + std::to_string(s) + " paths=" + std::to_string(paths));
}

}  // namespace qf
