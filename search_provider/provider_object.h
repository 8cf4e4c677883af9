#pragma once
// The one object the provider exports: both desktop interfaces hang on it as
// adaptors and share its searches, its memory of answered results and its
// way to the desktop.
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>
#include <QVariantList>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/hit.h"
#include "search_provider/desktop_search.h"
#include "search_provider/result_memory.h"
#include "search_provider/search_queue.h"

namespace qf {

class DesktopServices;

inline constexpr const char* kProviderBusName = "org.quillfind.Quillfind.SearchProvider";
inline constexpr const char* kProviderObjectPath = "/org/quillfind/Quillfind/SearchProvider";
inline constexpr const char* kUnknownResultError = "org.quillfind.Quillfind.Error.UnknownResult";
inline constexpr const char* kSupersededError = "org.quillfind.Quillfind.Error.Superseded";
inline constexpr const char* kBusyError = "org.quillfind.Quillfind.Error.Busy";
inline constexpr const char* kSearchFailedError = "org.quillfind.Quillfind.Error.SearchFailed";
inline constexpr const char* kUnknownActionError = "org.quillfind.Quillfind.Error.UnknownAction";

// How many searches run at once; the others wait their turn.
inline constexpr unsigned kSearchesAtOnce = 3;

// Starts the Quillfind window with the query; false when it could not start.
using WindowLauncher = std::function<bool(const std::string& query)>;

class ProviderObject : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    // The reply's arguments for a search's hits.
    using ReplyArguments = std::function<QVariantList(const std::vector<RankedHit>&)>;

    ProviderObject(DesktopServices& desktop, WindowLauncher launchWindow, BestSearch search = searchIndex,
                   QObject* parent = nullptr);
    ~ProviderObject() override;

    // Answers the D-Bus call being handled with the best hits for the terms
    // (none for terms that are not a usable query), remembered so later
    // calls can name them by id. The search runs off this thread, so calls
    // keep being taken meanwhile. A newer search from the same caller stops
    // it, and that caller, who has moved on, gets a "superseded" error
    // rather than a cut answer; other callers' searches go on.
    void searchAndReply(const QStringList& terms, ReplyArguments format);
    // The hits for these ids, in their order; an id not handed out lately
    // answers the call with an "unknown result" error and an empty list.
    std::vector<Hit> rememberedResults(const QStringList& ids);
    // Open the item or its containing folder, as the row menu does. An
    // unknown id is answered with a D-Bus error.
    void openResult(const QString& id);
    void openContainingFolder(const QString& id);
    void launchSearch(const QStringList& terms);
    // Answers the call being handled with the "unknown action" error.
    void refuseAction();
    // The calling desktop's search session ended.
    void forgetResults();
    // Searches are running or waiting to be answered.
    bool busy() const { return !newest_.empty(); }

signals:
    // A call came in or an answer went out: the provider is in use.
    void used();

private:
    struct PendingReply {
        QDBusConnection bus;
        QDBusMessage request;
        ReplyArguments format;
    };
    using Outcome = Expected<std::vector<RankedHit>>;
    std::string caller() const;
    const Hit* rememberedOrError(const QString& id);
    void finishSearch(const std::string& caller, std::uint64_t serial, const Outcome& outcome,
                      const PendingReply& reply);

    DesktopServices& desktop_;
    WindowLauncher launchWindow_;
    BestSearch search_;
    ResultMemory memory_;
    std::uint64_t serial_ = 0;
    // The serial of each caller's newest search still to be answered.
    std::map<std::string, std::uint64_t> newest_;
    // Last: its workers report to everything above, so it ends first.
    std::unique_ptr<SearchQueue> searches_;
};

}  // namespace qf
