#pragma once
// Per-type icons for result rows. The type is decided from the name alone,
// so looking an icon up never touches the disk; icons are cached per type.
#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <QString>

namespace qf {

class MimeIconCache {
public:
    QIcon iconFor(const QString& fileName, bool isDir);
    // The type name used for the icon ("inode/directory" for folders).
    QString mimeNameFor(const QString& fileName, bool isDir) const;

private:
    QIcon iconForMime(const QString& mimeName);

    QMimeDatabase db_;
    QHash<QString, QIcon> cache_;
};

}  // namespace qf
