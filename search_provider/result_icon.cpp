#include "search_provider/result_icon.h"

#include <QFile>
#include <QMimeDatabase>

namespace qf {

QStringList iconNamesFor(const Hit& hit) {
    if (hit.isDir()) return {QStringLiteral("folder")};
    const QMimeDatabase db;
    const QMimeType type = db.mimeTypeForFile(QFile::decodeName(hit.path().c_str()), QMimeDatabase::MatchExtension);
    QStringList names;
    if (!type.isDefault()) names << type.iconName() << type.genericIconName();
    names << QStringLiteral("text-x-generic");
    names.removeDuplicates();
    return names;
}

QString gioIconString(const QStringList& names) {
    if (names.size() == 1) return names.front();
    return QStringLiteral(". GThemedIcon ") + names.join(QLatin1Char(' '));
}

}  // namespace qf
