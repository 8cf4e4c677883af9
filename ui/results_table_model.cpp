#include "ui/results_table_model.h"

#include <algorithm>
#include <array>

#include "base/path_names.h"
#include "ui/date_text.h"
#include "ui/kind_column.h"
#include "ui/size_text.h"

namespace qf {

namespace {

constexpr Qt::Alignment kLeading = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Qt::Alignment kTrailing = Qt::AlignRight | Qt::AlignVCenter;

const std::array<ResultsTableModel::ColumnInfo, ResultsTableModel::columnCount_> kColumns{{
    {"名称", SortKey::name, 0, kLeading},
    {"类型", std::nullopt, 96, kLeading},
    {"大小", SortKey::size, 84, kTrailing},
    {"创建日期", SortKey::created, 112, kTrailing},
    {"修改日期", SortKey::date, 112, kTrailing},
}};

QString fromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QString spokenName(const QString& name, const QString& folder) { return name + QStringLiteral("，位于 ") + folder; }

}  // namespace

const ResultsTableModel::ColumnInfo& ResultsTableModel::column(int c) {
    return kColumns.at(static_cast<std::size_t>(c));
}

int ResultsTableModel::columnWidth(int c) { return c == kindColumn ? kindColumnWidth() : column(c).width; }

ResultsTableModel::ResultsTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void ResultsTableModel::setFormatting(QLocale locale, std::string localeId, std::string zoneId) {
    locale_ = std::move(locale);
    localeId_ = std::move(localeId);
    zoneId_ = std::move(zoneId);
    dates_.reset();
    for (Row& r : rows_) r.formatted = false;
}

void ResultsTableModel::setHits(const std::vector<Hit>& hits) {
    beginResetModel();
    hits_ = hits;
    rows_.assign(hits_.size(), Row{});
    endResetModel();
}

const ResultsTableModel::Row& ResultsTableModel::formattedRow(std::size_t row) const {
    Row& r = rows_[row];
    if (r.formatted) return r;
    const Hit& h = hits_[row];
    if (!dates_) dates_ = std::make_unique<DateTextFormatter>(localeId_, zoneId_);
    r.name = fromUtf8(h.name());
    r.path = fromUtf8(h.path());
    r.spoken = spokenName(r.name, fromUtf8(containingFolder(h.path())));
    r.kind = fromUtf8(h.kind());
    r.size = sizeText(h, locale_);
    r.created = dates_->text(h.created());
    r.modified = dates_->text(h.modified());
    r.icon = icons_.iconFor(r.name, h.isDir());
    r.formatted = true;
    return r;
}

const Hit* ResultsTableModel::hitAt(int row) const {
    if (row < 0 || row >= static_cast<int>(hits_.size())) return nullptr;
    return &hits_[static_cast<std::size_t>(row)];
}

int ResultsTableModel::rowOfPath(const std::string& path) const {
    // The first row with the path wins, as the selection rule does.
    const auto it = std::find_if(hits_.begin(), hits_.end(), [&](const Hit& h) { return h.path() == path; });
    return it == hits_.end() ? -1 : static_cast<int>(it - hits_.begin());
}

int ResultsTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ResultsTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : columnCount_; }

QVariant ResultsTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    if (role == isDirRole) return hits_[static_cast<std::size_t>(index.row())].isDir();
    if (role == Qt::TextAlignmentRole) return static_cast<int>(column(index.column()).alignment);
    const Row& r = formattedRow(static_cast<std::size_t>(index.row()));
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case nameColumn:
                    return r.name;
                case kindColumn:
                    return r.kind;
                case sizeColumn:
                    return r.size;
                case createdColumn:
                    return r.created;
                case modifiedColumn:
                    return r.modified;
                default:
                    return {};
            }
        case Qt::DecorationRole:
            return index.column() == nameColumn ? QVariant(r.icon) : QVariant();
        case Qt::ToolTipRole:
            if (index.column() == nameColumn) return r.path;
            // The whole kind, for the rare one the column elides.
            if (index.column() == kindColumn) return r.kind;
            return {};
        case Qt::AccessibleTextRole:
            // What a screen reader says for the cell. Two files of one name
            // must not sound the same, so the name says where the item is.
            return index.column() == nameColumn ? QVariant(r.spoken) : QVariant();
        case pathRole:
            return r.path;
        case nameRole:
            return r.name;
        default:
            return {};
    }
}

QVariant ResultsTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount_) return {};
    return QString::fromUtf8(column(section).title);
}

}  // namespace qf
