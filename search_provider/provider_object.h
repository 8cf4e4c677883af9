#pragma once
// The one object the provider exports: both desktop interfaces hang on it as
// adaptors and share its searches, its memory of answered results and its
// way to the desktop.
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>
#include <QThreadPool>
#include <QVariantList>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/hit.h"
#include "search_provider/desktop_search.h"

namespace qf {

class DesktopServices;

inline constexpr const char* kProviderBusName = "org.quillfind.Quillfind.SearchProvider";
inline constexpr const char* kProviderObjectPath = "/org/quillfind/Quillfind/SearchProvider";
inline constexpr const char* kUnknownResultError = "org.quillfind.Quillfind.Error.UnknownResult";
inline constexpr const char* kSupersededError = "org.quillfind.Quillfind.Error.Superseded";

// Starts the Quillfind window with the query; false when it could not start.
using WindowLauncher = std::function<bool(const std::string& query)>;

class ProviderObject : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    // The reply's arguments for a search's hits.
    using ReplyArguments = std::function<QVariantList(const std::vector<RankedHit>&)>;

    ProviderObject(DesktopServices& desktop, WindowLauncher launchWindow, QObject* parent = nullptr);
    ~ProviderObject() override;

    // Answers the D-Bus call being handled with the best hits for the terms
    // (none for terms that are not a usable query), remembered so later
    // calls can name them by id. The search runs off this thread, so calls
    // keep being taken meanwhile; a newer search stops it, and its caller,
    // who has moved on, gets a "superseded" error rather than a cut answer.
    void searchAndReply(const QStringList& terms, ReplyArguments format);
    // A hit handed out recently, or null: ids from elsewhere are refused.
    const Hit* remembered(const QString& id) const;
    // Open the item or its containing folder, as the row menu does. An
    // unknown id is answered with a D-Bus error.
    void openResult(const QString& id);
    void openContainingFolder(const QString& id);
    void launchSearch(const QStringList& terms);
    // The desktop's search session ended.
    void forgetResults();

private:
    const Hit* rememberedOrError(const QString& id);
    void remember(const Hit& hit);
    struct PendingReply {
        QDBusConnection bus;
        QDBusMessage request;
        ReplyArguments format;
    };
    void finishSearch(std::uint64_t generation, const std::vector<RankedHit>& hits, const PendingReply& reply);

    DesktopServices& desktop_;
    WindowLauncher launchWindow_;
    std::map<std::string, Hit> results_;
    std::deque<std::string> order_;  // oldest first
    std::uint64_t generation_ = 0;   // of the newest search
    QThreadPool searches_;
};

}  // namespace qf
