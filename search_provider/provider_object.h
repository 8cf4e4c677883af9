#pragma once
// The one object the provider exports: both desktop interfaces hang on it as
// adaptors and share its searches, its memory of answered results and its
// way to the desktop.
#include <QDBusContext>
#include <QObject>
#include <QStringList>
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

// Starts the Quillfind window with the query; false when it could not start.
using WindowLauncher = std::function<bool(const std::string& query)>;

class ProviderObject : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    ProviderObject(DesktopServices& desktop, WindowLauncher launchWindow, QObject* parent = nullptr);

    // The best hits for the terms, remembered so later calls can name them
    // by id; empty for terms that are not a usable query.
    std::vector<RankedHit> search(const QStringList& terms);
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

    DesktopServices& desktop_;
    WindowLauncher launchWindow_;
    std::map<std::string, Hit> results_;
    std::deque<std::string> order_;  // oldest first
};

}  // namespace qf
