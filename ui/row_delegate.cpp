#include "ui/row_delegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>

#include "ui/results_table_model.h"
#include "ui/theme.h"

namespace qf {

namespace {

constexpr int kLastColumn = ResultsTableModel::modifiedColumn;
// The list's own inset above and below each row, plus the row's padding of 1.
constexpr int kRowInset = 3 + 1;

QColor textColour(const QPalette& palette, bool selected, bool secondary) {
    if (selected) {
        QColor c = palette.color(QPalette::HighlightedText);
        if (secondary) c.setAlphaF(0.8);
        return c;
    }
    return secondary ? theme::secondary(palette) : theme::primary(palette);
}

}  // namespace

RowDelegate::RowDelegate(QObject* parent)
    : QStyledItemDelegate(parent), nameFont_(theme::systemFont(13, QFont::Medium)), smallFont_(theme::systemFont(11)) {}

QRect RowDelegate::contentRect(const QRect& cell, int column) {
    const int leading = column == 0 ? kSidePadding : kSpacing;
    const int trailing = column == kLastColumn ? kSidePadding : 0;
    return cell.adjusted(leading, 0, -trailing, 0);
}

int RowDelegate::sectionWidth(int column, int width) {
    return width + (column == 0 ? kSidePadding : kSpacing) + (column == kLastColumn ? kSidePadding : 0);
}

int RowDelegate::rowHeight() const {
    const int text = QFontMetrics(nameFont_).height() + 1 + QFontMetrics(smallFont_).height();
    return std::max(kIconSize, text) + 2 * kRowInset;
}

QSize RowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    (void)option;
    const int width = ResultsTableModel::columnWidth(index.column());
    return {sectionWidth(index.column(), width), rowHeight()};
}

void RowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    // Background and selection only; the content is drawn below.
    opt.text.clear();
    opt.icon = QIcon();
    opt.state &= ~QStyle::State_HasFocus;
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);

    const bool selected = option.state & QStyle::State_Selected;
    const QRect rect = contentRect(option.rect, index.column());
    painter->save();
    if (index.column() == ResultsTableModel::nameColumn)
        paintNameCell(painter, rect, index, selected, option.palette);
    else
        paintTextCell(painter, rect, index, selected, option.palette);
    painter->restore();
}

void RowDelegate::paintNameCell(QPainter* painter, const QRect& rect, const QModelIndex& index, bool selected,
                                const QPalette& palette) const {
    const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
    const QRect iconRect(rect.left(), rect.center().y() - kIconSize / 2 + 1, kIconSize, kIconSize);
    // Stretched to exactly 18×18, whatever the icon's own proportions.
    painter->drawPixmap(iconRect, icon.pixmap(QSize(kIconSize, kIconSize), painter->device()->devicePixelRatioF()));

    const QFontMetrics nameMetrics(nameFont_);
    const QFontMetrics pathMetrics(smallFont_);
    const int textLeft = iconRect.right() + 1 + kSpacing;
    const int textWidth = std::max(0, rect.right() + 1 - textLeft);
    const int blockHeight = nameMetrics.height() + 1 + pathMetrics.height();
    const int top = rect.top() + (rect.height() - blockHeight) / 2;

    const QRect nameRect(textLeft, top, textWidth, nameMetrics.height());
    const QRect pathRect(textLeft, nameRect.bottom() + 2, textWidth, pathMetrics.height());
    painter->setFont(nameFont_);
    painter->setPen(textColour(palette, selected, false));
    painter->drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter,
                      nameMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, textWidth));
    painter->setFont(smallFont_);
    painter->setPen(textColour(palette, selected, true));
    painter->drawText(
        pathRect, Qt::AlignLeft | Qt::AlignVCenter,
        pathMetrics.elidedText(index.data(ResultsTableModel::pathRole).toString(), Qt::ElideMiddle, textWidth));
}

void RowDelegate::paintTextCell(QPainter* painter, const QRect& rect, const QModelIndex& index, bool selected,
                                const QPalette& palette) const {
    const QFontMetrics metrics(smallFont_);
    const auto alignment = ResultsTableModel::column(index.column()).alignment;
    painter->setFont(smallFont_);
    painter->setPen(textColour(palette, selected, true));
    painter->drawText(rect, static_cast<int>(alignment),
                      metrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, rect.width()));
}

}  // namespace qf
