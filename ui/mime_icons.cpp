#include "ui/mime_icons.h"

#include <QApplication>
#include <QStyle>

namespace qf {

namespace {

const QString kDirectory = QStringLiteral("inode/directory");

QIcon fallbackIcon(bool isDir) {
    return QApplication::style()->standardIcon(isDir ? QStyle::SP_DirIcon : QStyle::SP_FileIcon);
}

}  // namespace

QString MimeIconCache::mimeNameFor(const QString& fileName, bool isDir) const {
    if (isDir) return kDirectory;
    return db_.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension).name();
}

QIcon MimeIconCache::iconFor(const QString& fileName, bool isDir) { return iconForMime(mimeNameFor(fileName, isDir)); }

QIcon MimeIconCache::iconForMime(const QString& mimeName) {
    auto it = cache_.constFind(mimeName);
    if (it != cache_.constEnd()) return *it;
    const QMimeType type = db_.mimeTypeForName(mimeName);
    const bool isDir = mimeName == kDirectory;
    QIcon icon;
    for (const QString& name : {type.iconName(), type.genericIconName(),
                                isDir ? QStringLiteral("folder") : QStringLiteral("text-x-generic")}) {
        if (!name.isEmpty() && QIcon::hasThemeIcon(name)) {
            icon = QIcon::fromTheme(name);
            break;
        }
    }
    if (icon.isNull()) icon = fallbackIcon(isDir);
    cache_.insert(mimeName, icon);
    return icon;
}

}  // namespace qf
