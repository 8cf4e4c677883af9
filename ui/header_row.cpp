#include "ui/header_row.h"

#include <QAccessibleWidget>
#include <QHBoxLayout>
#include <QPainter>
#include <QStyleOptionFocusRect>

#include "ui/results_table_model.h"
#include "ui/row_delegate.h"
#include "ui/theme.h"

namespace qf {

namespace {

constexpr int kVerticalPadding = 4;

// A plain cell sorts nothing; to a screen reader it is a column header, not
// a button that does nothing when pressed.
QAccessibleInterface* plainCellAccessible(const QString& className, QObject* object) {
    (void)className;
    auto* cell = qobject_cast<HeaderCell*>(object);
    if (!cell || !cell->isPlain()) return nullptr;
    return new QAccessibleWidget(cell, QAccessible::ColumnHeader);
}

}  // namespace

QString sortPhrase(const QString& title, bool ascending) {
    return QStringLiteral("按") + title + (ascending ? QStringLiteral("升序排列") : QStringLiteral("降序排列"));
}

HeaderCell::HeaderCell(QString title, std::optional<SortKey> key, bool plain, int width, QWidget* parent)
    : QAbstractButton(parent), title_(std::move(title)), key_(key), plain_(plain), width_(width) {
    static const bool factoryInstalled = (QAccessible::installFactory(plainCellAccessible), true);
    (void)factoryInstalled;
    setText(title_);
    setAccessibleName(spokenText());
    setFocusPolicy(plain_ ? Qt::NoFocus : Qt::TabFocus);
    setCursor(plain_ ? Qt::ArrowCursor : Qt::PointingHandCursor);
    if (width_ > 0)
        setFixedWidth(width_);
    else
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void HeaderCell::setSortState(SortKey activeKey, bool ascending) {
    active_ = !plain_ && key_ && *key_ == activeKey;
    ascending_ = ascending;
    setText(displayText());
    setAccessibleName(spokenText());
    update();
}

QString HeaderCell::spokenText() const {
    if (plain_) return title_;
    if (active_) return sortPhrase(title_, ascending_);
    return QStringLiteral("按") + title_ + QStringLiteral("排序");
}

QString HeaderCell::displayText() const {
    if (!active_) return title_;
    return title_ + (ascending_ ? QStringLiteral(" ▲") : QStringLiteral(" ▼"));
}

QFont HeaderCell::displayFont() const { return theme::systemFont(11, active_ ? QFont::DemiBold : QFont::Normal); }

QColor HeaderCell::displayColour() const { return active_ ? theme::primary(palette()) : theme::secondary(palette()); }

QSize HeaderCell::sizeHint() const {
    const QFontMetrics metrics(theme::systemFont(11, QFont::DemiBold));
    const int width = width_ > 0 ? width_ : metrics.horizontalAdvance(title_ + QStringLiteral(" ▲"));
    return {width, metrics.height()};
}

QSize HeaderCell::minimumSizeHint() const { return {width_ > 0 ? width_ : 0, sizeHint().height()}; }

void HeaderCell::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setFont(displayFont());
    p.setPen(displayColour());
    const bool trailing = width_ > 0 && !plain_;
    const Qt::Alignment align = (trailing ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
    const QString text = QFontMetrics(p.font()).elidedText(displayText(), Qt::ElideRight, width());
    QRect drawn;
    p.drawText(rect(), static_cast<int>(align), text, &drawn);
    if (hasFocus()) {
        // Reached with Tab: the keyboard user must see where it is.
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = drawn.adjusted(-2, 0, 2, 0).intersected(rect());
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}

HeaderRow::HeaderRow(Model& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* layout = new QHBoxLayout(this);
    layout->setSpacing(RowDelegate::kSpacing);
    layout->setContentsMargins(RowDelegate::kSidePadding, kVerticalPadding, RowDelegate::kSidePadding,
                               kVerticalPadding);
    for (int c = 0; c < ResultsTableModel::columnCount_; ++c) {
        const auto& info = ResultsTableModel::column(c);
        const bool plain = !info.sortKey;
        auto* cell =
            new HeaderCell(QString::fromUtf8(info.title), info.sortKey, plain, ResultsTableModel::columnWidth(c), this);
        if (info.sortKey) {
            const SortKey key = *info.sortKey;
            connect(cell, &QAbstractButton::clicked, this, [this, key] { model_.setSort(key); });
        }
        layout->addWidget(cell, info.width == 0 ? 1 : 0);
        cells_.push_back(cell);
    }
    connect(&model_, &Model::sortKeyAssigned, this, &HeaderRow::refresh);
    connect(&model_, &Model::sortAscAssigned, this, &HeaderRow::refresh);
    refresh();
}

void HeaderRow::setScrollBarWidth(int width) {
    auto* box = static_cast<QHBoxLayout*>(layout());
    box->setContentsMargins(RowDelegate::kSidePadding, kVerticalPadding, RowDelegate::kSidePadding + width,
                            kVerticalPadding);
}

void HeaderRow::refresh() {
    for (HeaderCell* cell : cells_) cell->setSortState(model_.sortKey(), model_.sortAsc());
    emit sortDescriptionChanged(sortDescription());
}

QString HeaderRow::sortDescription() const {
    for (const HeaderCell* cell : cells_) {
        if (cell->isActive()) return cell->spokenText();
    }
    return {};
}

}  // namespace qf
