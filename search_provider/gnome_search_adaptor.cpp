#include "search_provider/gnome_search_adaptor.h"

#include <QDBusMetaType>

#include "base/path_names.h"
#include "search_provider/provider_object.h"
#include "search_provider/result_icon.h"

namespace qf {

GnomeSearchAdaptor::GnomeSearchAdaptor(ProviderObject* provider) : QDBusAbstractAdaptor(provider), provider_(provider) {
    qDBusRegisterMetaType<QList<QVariantMap>>();
}

QStringList GnomeSearchAdaptor::GetInitialResultSet(const QStringList& terms) {
    provider_->searchAndReply(terms, [](const std::vector<RankedHit>& hits) {
        QStringList ids;
        for (const auto& ranked : hits) ids << QString::fromStdString(ranked.hit.id());
        return QVariantList{ids};
    });
    return {};  // the reply follows when the search is done
}

QStringList GnomeSearchAdaptor::GetSubsearchResultSet(const QStringList& previousResults, const QStringList& terms) {
    (void)previousResults;
    return GetInitialResultSet(terms);
}

QList<QVariantMap> GnomeSearchAdaptor::GetResultMetas(const QStringList& identifiers) {
    QList<QVariantMap> metas;
    for (const Hit& hit : provider_->rememberedResults(identifiers)) {
        metas.append({{QStringLiteral("id"), QString::fromStdString(hit.id())},
                      {QStringLiteral("name"), QString::fromStdString(hit.name())},
                      {QStringLiteral("description"), QString::fromStdString(containingFolder(hit.path()))},
                      {QStringLiteral("gicon"), gioIconString(iconNamesFor(hit))}});
    }
    return metas;
}

void GnomeSearchAdaptor::ActivateResult(const QString& identifier, const QStringList& terms, uint timestamp) {
    (void)terms;
    (void)timestamp;
    provider_->openResult(identifier);
}

void GnomeSearchAdaptor::LaunchSearch(const QStringList& terms, uint timestamp) {
    (void)timestamp;
    provider_->launchSearch(terms);
}

}  // namespace qf
