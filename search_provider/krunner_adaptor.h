#pragma once
// KDE's KRunner runner interface on the provider object.
#include <QDBusAbstractAdaptor>
#include <QList>
#include <QString>

#include "search_provider/krunner_types.h"

namespace qf {

class ProviderObject;

inline constexpr const char* kOpenAction = "open";
inline constexpr const char* kOpenFolderAction = "openParent";

class KrunnerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.krunner1")
    Q_CLASSINFO("D-Bus Introspection",
                "  <interface name=\"org.kde.krunner1\">\n"
                "    <method name=\"Teardown\"/>\n"
                "    <method name=\"Actions\">\n"
                "      <arg name=\"matches\" type=\"a(sss)\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"Run\">\n"
                "      <arg name=\"matchId\" type=\"s\" direction=\"in\"/>\n"
                "      <arg name=\"actionId\" type=\"s\" direction=\"in\"/>\n"
                "    </method>\n"
                "    <method name=\"Match\">\n"
                "      <arg name=\"query\" type=\"s\" direction=\"in\"/>\n"
                "      <arg name=\"matches\" type=\"a(sssida{sv})\" direction=\"out\"/>\n"
                "    </method>\n"
                "  </interface>\n")
public:
    explicit KrunnerAdaptor(ProviderObject* provider);

public slots:
    // The calling runner's session ended: its results are forgotten.
    void Teardown();
    QList<RemoteAction> Actions();
    // An empty actionId is the default action, opening the item; "open" and
    // "openParent" are the two of Actions(); any other id is refused with
    // kUnknownActionError.
    void Run(const QString& matchId, const QString& actionId);
    QList<RemoteMatch> Match(const QString& query);

private:
    ProviderObject* provider_;
};

}  // namespace qf
