#pragma once
// The structures of KRunner's D-Bus runner interface and their marshalling.
#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

namespace qf {

struct RemoteAction {
    QString id;
    QString text;
    QString iconName;
};

// KRunner's match kinds, by the numbers it expects on the bus.
enum class MatchType : int { possible = 30, exact = 100 };

struct RemoteMatch {
    QString id;
    QString text;
    QString iconName;
    int type = static_cast<int>(MatchType::possible);
    double relevance = 0;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& out, const RemoteAction& action);
const QDBusArgument& operator>>(const QDBusArgument& in, RemoteAction& action);
QDBusArgument& operator<<(QDBusArgument& out, const RemoteMatch& match);
const QDBusArgument& operator>>(const QDBusArgument& in, RemoteMatch& match);

// Makes the types known to Qt D-Bus; needed once before they travel.
void registerKrunnerTypes();

}  // namespace qf

Q_DECLARE_METATYPE(qf::RemoteAction)
Q_DECLARE_METATYPE(qf::RemoteMatch)
