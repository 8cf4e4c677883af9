#pragma once
// The rows of the results table. A row's texts and icon are formatted the
// first time the row is shown and kept until the next result list, so a new
// list costs only the rows on screen, and painting and scrolling never format
// a row twice nor touch the file system.
#include <QAbstractTableModel>
#include <QIcon>
#include <QLocale>
#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/hit.h"
#include "model/sort_key.h"
#include "ui/date_text.h"
#include "ui/mime_icons.h"

namespace qf {

class ResultsTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { nameColumn, kindColumn, sizeColumn, createdColumn, modifiedColumn, columnCount_ };
    enum Role { pathRole = Qt::UserRole + 1, nameRole, isDirRole };

    struct ColumnInfo {
        const char* title = nullptr;     // UTF-8
        std::optional<SortKey> sortKey;  // none: the column does not sort
        int width = 0;                   // 0: takes the width the others leave
        Qt::Alignment alignment;
    };
    static const ColumnInfo& column(int c);
    // The column's width on screen: column(c).width, except for the kind
    // column, which grows to fit the common kinds (kindColumnWidth()).
    static int columnWidth(int c);

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
        bool formatted = false;
        QString name, path, spoken, kind, size, created, modified;
        QIcon icon;
    };
    const Row& formattedRow(std::size_t row) const;

    std::vector<Hit> hits_;
    mutable std::vector<Row> rows_;
    mutable MimeIconCache icons_;
    mutable std::unique_ptr<DateTextFormatter> dates_;
    QLocale locale_;
    std::string localeId_, zoneId_;
};

}  // namespace qf
