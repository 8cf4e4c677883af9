#include "model/model.h"

#include <algorithm>

#include "model/desktop_services.h"
#include "model/hit_sort.h"
#include "model/model_state.h"
#include "model/run_limits.h"

namespace qf {

Model::Model(DesktopServices& desktop, QObject* parent) : QObject(parent), d_(std::make_unique<State>(desktop)) {
    d_->debounce = new QTimer(this);
    d_->debounce->setSingleShot(true);
    // A coarse timer may fire up to 5% early; the delay is part of the
    // behaviour.
    d_->debounce->setTimerType(Qt::PreciseTimer);
    d_->debounce->setInterval(kDebounceDelay);
    connect(d_->debounce, &QTimer::timeout, this, &Model::run);
}

Model::~Model() {
    // Workers still running keep the shared state; they must see that their
    // results have nowhere to go.
    std::lock_guard<std::mutex> guard(d_->shared->postLock);
    d_->shared->alive = false;
}

const std::string& Model::text() const { return d_->text; }
const std::vector<Hit>& Model::hits() const { return d_->hits; }
std::int64_t Model::total() const { return d_->total; }
bool Model::gathering() const { return d_->gathering; }
bool Model::caseSensitive() const { return d_->shared->caseSensitive.load(); }
bool Model::regexMode() const { return d_->regexMode; }
SortKey Model::sortKey() const { return d_->sortKey; }
bool Model::sortAsc() const { return d_->sortAsc; }
const std::optional<std::string>& Model::selectedPath() const { return d_->selectedPath; }
std::int64_t Model::serial() const { return d_->shared->serial.load(); }
DesktopServices& Model::desktop() const { return d_->desktop; }

std::optional<Hit> Model::selectedHit() const {
    if (!d_->selectedPath) return std::nullopt;
    // Paths are compared byte for byte: two differently composed names are two
    // different files on this platform.
    const auto it =
        std::find_if(d_->hits.begin(), d_->hits.end(), [&](const Hit& hit) { return hit.path() == *d_->selectedPath; });
    if (it == d_->hits.end()) return std::nullopt;
    return *it;
}

void Model::setText(std::string text) {
    d_->text = std::move(text);
    emit textAssigned();
}

void Model::setCaseSensitive(bool on) {
    d_->shared->caseSensitive = on;
    emit caseSensitiveAssigned();
}

void Model::setRegexMode(bool on) {
    d_->regexMode = on;
    emit regexModeAssigned();
}

void Model::setSelectedPath(std::optional<std::string> path) {
    d_->selectedPath = std::move(path);
    emit selectedPathAssigned();
}

void Model::assignHits(std::vector<Hit> hits) {
    d_->hits = std::move(hits);
    emit hitsAssigned();
}

void Model::assignTotal(std::int64_t total) {
    d_->total = total;
    emit totalAssigned();
}

void Model::assignGathering(bool on) {
    d_->gathering = on;
    emit gatheringAssigned();
}

void Model::assignSortKey(SortKey key) {
    d_->sortKey = key;
    emit sortKeyAssigned();
}

void Model::assignSortAsc(bool ascending) {
    d_->sortAsc = ascending;
    emit sortAscAssigned();
}

bool Model::arrowKey(int delta) {
    if (!d_->selectedPath) return false;
    moveSelection(delta);
    return true;
}

void Model::moveSelection(std::int64_t delta) {
    const auto& hits = d_->hits;
    if (hits.empty()) return;
    const auto count = static_cast<std::int64_t>(hits.size());
    const auto it = d_->selectedPath ? std::find_if(hits.begin(), hits.end(),
                                                    [&](const Hit& hit) { return hit.path() == *d_->selectedPath; })
                                     : hits.end();
    std::int64_t target;
    if (it != hits.end()) {
        const std::int64_t index = it - hits.begin();
        // Clamped without forming index + delta, which could overflow.
        if (delta >= 0)
            target = delta > count - 1 - index ? count - 1 : index + delta;
        else
            target = delta < -index ? 0 : index + delta;
    } else {
        target = delta < 1 ? count - 1 : 0;
    }
    setSelectedPath(hits[static_cast<std::size_t>(target)].path());
}

void Model::submit() {
    if (d_->selectedPath) {
        if (const auto hit = selectedHit()) d_->desktop.openItem(hit->path());
        return;
    }
    if (!d_->hits.empty()) setSelectedPath(d_->hits.front().path());
}

void Model::setSort(SortKey key) {
    if (key != d_->sortKey) {
        assignSortKey(key);
        assignSortAsc(ascendingWhenPicked(key));
    } else {
        assignSortAsc(!d_->sortAsc);
    }
    applySort();
}

void Model::applySort() {
    std::vector<Hit> hits = std::move(d_->hits);
    sortHits(hits, d_->sortKey, d_->sortAsc);
    assignHits(std::move(hits));
}

}  // namespace qf
