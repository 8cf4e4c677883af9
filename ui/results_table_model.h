#pragma once
// The rows of the results table. Every text of every row is formatted once
// when a result list arrives, so painting and scrolling do no formatting,
// no type detection and no file-system work.
#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QLocale>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "core/hit.h"
#include "model/sort_key.h"
#include "ui/mime_icons.h"

namespace qf {

class ResultsTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { nameColumn, kindColumn, sizeColumn, createdColumn, modifiedColumn, columnCount_ };
    enum Role { pathRole = Qt::UserRole + 1, nameRole, isDirRole };

    struct ColumnInfo {
        const char* title;               // UTF-8
        std::optional<SortKey> sortKey;  // none: the column does not sort
        int width;                       // 0: takes the width the others leave
        Qt::Alignment alignment;
    };
    static const ColumnInfo& column(int c);

    explicit ResultsTableModel(QObject* parent = nullptr);

    // Replaces every row; `localeId`/`zoneId` as for DateTextFormatter.
    void setHits(const std::vector<Hit>& hits);
    void setFormatting(QLocale locale, std::string localeId, std::string zoneId);

    const Hit* hitAt(int row) const;
    int rowOfPath(const std::string& path) const;  // -1 when absent

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Row {
        QString name, path, kind, size, created, modified;
        QIcon icon;
    };

    std::vector<Hit> hits_;
    std::vector<Row> rows_;
    QHash<QString, int> rowOfPath_;
    MimeIconCache icons_;
    QLocale locale_;
    std::string localeId_, zoneId_;
};

}  // namespace qf
