#pragma once
// Paints one cell of a result row: the name cell as an 18×18 icon beside
// the name over the middle-elided path, the others as one line of secondary
// text. Each cell carries its share of the row's padding and of the 8-pixel
// gaps, so the cells line up with the header row above the table.
#include <QFont>
#include <QStyledItemDelegate>

namespace qf {

class RowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int kIconSize = 18;
    static constexpr int kSpacing = 8;
    static constexpr int kSidePadding = 12;

    explicit RowDelegate(QObject* parent = nullptr);

    // The content rectangle of a cell of `column` inside `cell`.
    static QRect contentRect(const QRect& cell, int column);
    // The width a table column needs for a cell of content width `width`.
    static int sectionWidth(int column, int width);
    int rowHeight() const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    void paintNameCell(QPainter* painter, const QRect& rect, const QModelIndex& index, bool selected,
                       const QPalette& palette) const;
    void paintTextCell(QPainter* painter, const QRect& rect, const QModelIndex& index, bool selected,
                       const QPalette& palette) const;

    QFont nameFont_;
    QFont smallFont_;
};

}  // namespace qf
