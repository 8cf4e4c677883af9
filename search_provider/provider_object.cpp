#include "search_provider/provider_object.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include "core/shell.h"
#include "model/desktop_services.h"

namespace qf {

namespace {

// A few screens of answers: enough for every id the desktop still shows.
constexpr std::size_t kRememberedResults = 500;

std::vector<std::string> toStd(const QStringList& list) {
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(list.size()));
    for (const QString& s : list) out.push_back(s.toStdString());
    return out;
}

}  // namespace

ProviderObject::ProviderObject(DesktopServices& desktop, WindowLauncher launchWindow, QObject* parent)
    : QObject(parent), desktop_(desktop), launchWindow_(std::move(launchWindow)) {}

ProviderObject::~ProviderObject() {
    // No search may outlive the object it reports to.
    QueryRunner::shared().cancelAll();
    searches_.waitForDone();
}

void ProviderObject::searchAndReply(const QStringList& terms, ReplyArguments format) {
    if (!calledFromDBus()) return;
    setDelayedReply(true);
    const PendingReply reply{connection(), message(), std::move(format)};
    const std::uint64_t generation = ++generation_;
    // The index questions of older searches, still running, are answered
    // for nobody now.
    QueryRunner::shared().cancelAll();
    const auto query = queryFromTerms(toStd(terms));
    if (!query) {
        finishSearch(generation, {}, reply);
        return;
    }
    searches_.start([this, query = *query, generation, reply] {
        std::vector<RankedHit> hits = findBestHits(query);
        // Back on the object's thread, which alone touches its memory; the
        // destructor waits for this thread, so the object still exists.
        QMetaObject::invokeMethod(
            this, [this, hits = std::move(hits), generation, reply] { finishSearch(generation, hits, reply); },
            Qt::QueuedConnection);
    });
}

void ProviderObject::finishSearch(std::uint64_t generation, const std::vector<RankedHit>& hits,
                                  const PendingReply& reply) {
    if (generation != generation_) {
        reply.bus.send(
            reply.request.createErrorReply(kSupersededError, QStringLiteral("a newer search replaced this one")));
        return;
    }
    for (const auto& ranked : hits) remember(ranked.hit);
    reply.bus.send(reply.request.createReply(reply.format(hits)));
}

const Hit* ProviderObject::remembered(const QString& id) const {
    const auto it = results_.find(id.toStdString());
    return it == results_.end() ? nullptr : &it->second;
}

const Hit* ProviderObject::rememberedOrError(const QString& id) {
    const Hit* hit = remembered(id);
    if (!hit && calledFromDBus()) sendErrorReply(kUnknownResultError, QStringLiteral("not a current result"));
    return hit;
}

void ProviderObject::openResult(const QString& id) {
    if (const Hit* hit = rememberedOrError(id)) desktop_.openItem(hit->path());
}

void ProviderObject::openContainingFolder(const QString& id) {
    if (const Hit* hit = rememberedOrError(id)) desktop_.openItem(containingFolder(hit->path()));
}

void ProviderObject::launchSearch(const QStringList& terms) {
    const auto query = queryFromTerms(toStd(terms));
    // Terms that are no query still open the window, with an empty field.
    if (!launchWindow_(query.value_or(std::string())) && calledFromDBus())
        sendErrorReply(QDBusError::Failed, QStringLiteral("the Quillfind window could not be started"));
}

void ProviderObject::forgetResults() {
    results_.clear();
    order_.clear();
}

void ProviderObject::remember(const Hit& hit) {
    if (results_.insert_or_assign(hit.id(), hit).second) order_.push_back(hit.id());
    while (order_.size() > kRememberedResults) {
        results_.erase(order_.front());
        order_.pop_front();
    }
}

}  // namespace qf
