#pragma once
// The header row above the results: five column cells; the four sortable
// ones are buttons that show ▲/▼ on the active column and call setSort. A
// screen reader hears the sort state in words: the active cell is named
// "按名称升序排列", the others "按大小排序"; the kind cell is a plain
// column header. The sortable cells are reached with Tab (never by a click,
// which leaves the focus where it was).
#include <QAbstractButton>
#include <QWidget>
#include <optional>
#include <vector>

#include "model/model.h"
#include "model/sort_key.h"

namespace qf {

// "按名称升序排列": the order by `title` in words.
QString sortPhrase(const QString& title, bool ascending);

class HeaderCell : public QAbstractButton {
    Q_OBJECT
public:
    // `width` 0: the cell stretches and keeps its text at the leading edge;
    // otherwise it is that wide and keeps its text at the trailing edge
    // (plain cells keep theirs at the leading edge).
    HeaderCell(QString title, std::optional<SortKey> key, bool plain, int width, QWidget* parent = nullptr);

    void setSortState(SortKey activeKey, bool ascending);
    bool isActive() const { return active_; }
    bool isPlain() const { return plain_; }
    QString displayText() const;  // the title, plus " ▲"/" ▼" when active
    QFont displayFont() const;
    QColor displayColour() const;
    // What a screen reader says for the cell.
    QString spokenText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString title_;
    std::optional<SortKey> key_;
    bool plain_;
    int width_;
    bool active_ = false;
    bool ascending_ = true;
};

class HeaderRow : public QWidget {
    Q_OBJECT
public:
    explicit HeaderRow(Model& model, QWidget* parent = nullptr);

    HeaderCell* cell(int column) const { return cells_.at(static_cast<std::size_t>(column)); }
    // The sort order in words, as the active cell says it.
    QString sortDescription() const;
    // Room kept free at the right edge for the results' scroll bar.
    void setScrollBarWidth(int width);

signals:
    // The column or the direction changed; `description` as sortDescription().
    void sortDescriptionChanged(const QString& description);

private:
    void refresh();

    Model& model_;
    std::vector<HeaderCell*> cells_;
};

}  // namespace qf
