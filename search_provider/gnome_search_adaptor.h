#pragma once
// GNOME Shell's search-provider interface (version 2) on the provider object.
#include <QDBusAbstractAdaptor>
#include <QList>
#include <QStringList>
#include <QVariantMap>

namespace qf {

class ProviderObject;

class GnomeSearchAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Shell.SearchProvider2")
    Q_CLASSINFO("D-Bus Introspection",
                "  <interface name=\"org.gnome.Shell.SearchProvider2\">\n"
                "    <method name=\"GetInitialResultSet\">\n"
                "      <arg type=\"as\" name=\"terms\" direction=\"in\"/>\n"
                "      <arg type=\"as\" name=\"results\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"GetSubsearchResultSet\">\n"
                "      <arg type=\"as\" name=\"previous_results\" direction=\"in\"/>\n"
                "      <arg type=\"as\" name=\"terms\" direction=\"in\"/>\n"
                "      <arg type=\"as\" name=\"results\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"GetResultMetas\">\n"
                "      <arg type=\"as\" name=\"identifiers\" direction=\"in\"/>\n"
                "      <arg type=\"aa{sv}\" name=\"metas\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"ActivateResult\">\n"
                "      <arg type=\"s\" name=\"identifier\" direction=\"in\"/>\n"
                "      <arg type=\"as\" name=\"terms\" direction=\"in\"/>\n"
                "      <arg type=\"u\" name=\"timestamp\" direction=\"in\"/>\n"
                "    </method>\n"
                "    <method name=\"LaunchSearch\">\n"
                "      <arg type=\"as\" name=\"terms\" direction=\"in\"/>\n"
                "      <arg type=\"u\" name=\"timestamp\" direction=\"in\"/>\n"
                "    </method>\n"
                "  </interface>\n")
public:
    explicit GnomeSearchAdaptor(ProviderObject* provider);

public slots:
    QStringList GetInitialResultSet(const QStringList& terms);
    // The previous answer holds only the best few of its matches, so
    // filtering it would miss better ones (the exact name "repo" among the
    // many "report…" when "rep" was typed). The narrower terms are asked
    // afresh: the index answers them as fast, and the answer is the best of
    // all their matches, each of which also matched the previous terms.
    QStringList GetSubsearchResultSet(const QStringList& previousResults, const QStringList& terms);
    // Every id must be a current result: one that is not (any longer) fails
    // the call rather than leaving a gap the desktop cannot explain.
    QList<QVariantMap> GetResultMetas(const QStringList& identifiers);
    void ActivateResult(const QString& identifier, const QStringList& terms, uint timestamp);
    void LaunchSearch(const QStringList& terms, uint timestamp);

private:
    ProviderObject* provider_;
};

}  // namespace qf
