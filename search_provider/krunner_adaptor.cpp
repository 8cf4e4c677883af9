#include "search_provider/krunner_adaptor.h"

#include "base/path_names.h"
#include "search_provider/provider_object.h"
#include "search_provider/result_icon.h"

namespace qf {

KrunnerAdaptor::KrunnerAdaptor(ProviderObject* provider) : QDBusAbstractAdaptor(provider), provider_(provider) {
    registerKrunnerTypes();
}

void KrunnerAdaptor::Teardown() { provider_->forgetResults(); }

QList<RemoteAction> KrunnerAdaptor::Actions() {
    // The row menu's texts, so both places say the same.
    return {{QString::fromLatin1(kOpenAction), QStringLiteral("打开"), QStringLiteral("document-open")},
            {QString::fromLatin1(kOpenFolderAction), QStringLiteral("打开所在文件夹"), QStringLiteral("folder-open")}};
}

void KrunnerAdaptor::Run(const QString& matchId, const QString& actionId) {
    // An action this runner never offered does nothing, rather than the
    // default action: a caller that names one means something else.
    if (actionId.isEmpty() || actionId == QLatin1String(kOpenAction)) {
        provider_->openResult(matchId);
    } else if (actionId == QLatin1String(kOpenFolderAction)) {
        provider_->openContainingFolder(matchId);
    } else {
        provider_->refuseAction();
    }
}

QList<RemoteMatch> KrunnerAdaptor::Match(const QString& query) {
    provider_->searchAndReply({query}, [](const std::vector<RankedHit>& hits) {
        QList<RemoteMatch> matches;
        for (std::size_t i = 0; i < hits.size(); ++i) {
            const Hit& hit = hits[i].hit;
            RemoteMatch match;
            match.id = QString::fromStdString(hit.path());
            match.text = QString::fromStdString(hit.name());
            match.iconName = iconNamesFor(hit).front();
            match.type =
                static_cast<int>(hits[i].rank == index::MatchRank::exact ? MatchType::exact : MatchType::possible);
            // KRunner merges runners by relevance; keep this runner's own order.
            match.relevance = 1.0 - 0.5 * static_cast<double>(i) / static_cast<double>(hits.size());
            match.properties = {{QStringLiteral("subtext"), QString::fromStdString(containingFolder(hit.path()))},
                                {QStringLiteral("urls"), QStringList{QString::fromStdString(hit.url())}},
                                {QStringLiteral("actions"), QStringList{QString::fromLatin1(kOpenAction),
                                                                        QString::fromLatin1(kOpenFolderAction)}}};
            matches.append(match);
        }
        return QVariantList{QVariant::fromValue(matches)};
    });
    return {};  // the reply follows when the search is done
}

}  // namespace qf
