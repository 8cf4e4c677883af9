#include "search_provider/provider_object.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include "base/path_names.h"
#include "model/desktop_services.h"

namespace qf {

namespace {

// One waiting search per caller: beyond this many callers waiting at once,
// a new one is told to come back rather than queued without end.
constexpr std::size_t kMostWaitingCallers = 256;

std::vector<std::string> toStd(const QStringList& list) {
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(list.size()));
    for (const QString& s : list) out.push_back(s.toStdString());
    return out;
}

void replySuperseded(const QDBusConnection& bus, const QDBusMessage& request) {
    bus.send(request.createErrorReply(kSupersededError, QStringLiteral("a newer search of this caller replaced it")));
}

}  // namespace

ProviderObject::ProviderObject(DesktopServices& desktop, WindowLauncher launchWindow, BestSearch search,
                               QObject* parent)
    : QObject(parent),
      desktop_(desktop),
      launchWindow_(std::move(launchWindow)),
      search_(std::move(search)),
      searches_(std::make_unique<SearchQueue>(kSearchesAtOnce, kMostWaitingCallers)) {}

// No search may outlive the object it reports to: the queue stops and joins
// them first.
ProviderObject::~ProviderObject() { searches_.reset(); }

std::string ProviderObject::caller() const { return message().service().toStdString(); }

void ProviderObject::searchAndReply(const QStringList& terms, ReplyArguments format) {
    if (!calledFromDBus()) return;
    emit used();
    setDelayedReply(true);
    const PendingReply reply{connection(), message(), std::move(format)};
    const std::string from = caller();
    const std::uint64_t serial = ++serial_;
    newest_[from] = serial;
    std::optional<index::Request> request;
    if (const auto query = queryFromTerms(toStd(terms))) request = bestRequestFor(*query);
    if (!request) {
        searches_->cancel(from);
        finishSearch(from, serial, std::vector<RankedHit>{}, reply);
        return;
    }
    const bool queued = searches_->submit(
        from,
        [this, request = std::move(*request), from, serial, reply](const std::stop_token& stop) {
            Outcome outcome = search_(request, stop);
            // Back on the object's thread, which alone touches its memory;
            // the queue ends before the object, so the object still exists.
            QMetaObject::invokeMethod(
                this,
                [this, outcome = std::move(outcome), from, serial, reply] {
                    finishSearch(from, serial, outcome, reply);
                },
                Qt::QueuedConnection);
        },
        // Called on this thread, from a newer submit of the same caller.
        [reply] { replySuperseded(reply.bus, reply.request); });
    if (!queued) {
        newest_.erase(from);
        reply.bus.send(reply.request.createErrorReply(
            kBusyError, QStringLiteral("too many callers are waiting for a search; ask again")));
    }
}

void ProviderObject::finishSearch(const std::string& from, std::uint64_t serial, const Outcome& outcome,
                                  const PendingReply& reply) {
    emit used();
    const auto newest = newest_.find(from);
    if (newest == newest_.end() || newest->second != serial) {
        replySuperseded(reply.bus, reply.request);
        return;
    }
    newest_.erase(newest);
    if (!outcome) {
        reply.bus.send(
            reply.request.createErrorReply(kSearchFailedError, QString::fromStdString(outcome.error().message())));
        return;
    }
    std::vector<Hit> hits;
    hits.reserve(outcome.value().size());
    for (const auto& ranked : outcome.value()) hits.push_back(ranked.hit);
    memory_.remember(from, hits);
    reply.bus.send(reply.request.createReply(reply.format(outcome.value())));
}

std::vector<Hit> ProviderObject::rememberedResults(const QStringList& ids) {
    emit used();
    std::vector<Hit> hits;
    for (qsizetype i = 0; i < ids.size(); ++i) {
        const Hit* hit = memory_.find(ids[i].toStdString());
        if (!hit) {
            // The id itself is not echoed: it is the caller's text.
            if (calledFromDBus())
                sendErrorReply(
                    kUnknownResultError,
                    QStringLiteral("identifier %1 of %2 is not a current result").arg(i + 1).arg(ids.size()));
            return {};
        }
        hits.push_back(*hit);
    }
    return hits;
}

const Hit* ProviderObject::rememberedOrError(const QString& id) {
    emit used();
    const Hit* hit = memory_.find(id.toStdString());
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
    emit used();
    const auto query = queryFromTerms(toStd(terms));
    // Terms that are no query still open the window, with an empty field.
    if (!launchWindow_(query.value_or(std::string())) && calledFromDBus())
        sendErrorReply(QDBusError::Failed, QStringLiteral("the Quillfind window could not be started"));
}

void ProviderObject::refuseAction() {
    emit used();
    // The id is not echoed: it is the caller's text, and may be anything.
    if (calledFromDBus()) sendErrorReply(kUnknownActionError, QStringLiteral("not an action of this runner"));
}

void ProviderObject::forgetResults() {
    emit used();
    if (calledFromDBus()) memory_.forget(caller());
}

}  // namespace qf
