#pragma once
// The header row above the results: five column cells; the four sortable
// ones are buttons that show ▲/▼ on the active column and call setSort.
#include <QAbstractButton>
#include <QWidget>
#include <optional>
#include <vector>

#include "model/model.h"
#include "model/sort_key.h"

namespace qf {

class HeaderCell : public QAbstractButton {
    Q_OBJECT
public:
    // `width` 0: the cell stretches and keeps its text at the leading edge;
    // otherwise it is that wide and keeps its text at the trailing edge
    // (plain cells keep theirs at the leading edge).
    HeaderCell(QString title, std::optional<SortKey> key, bool plain, int width, QWidget* parent = nullptr);

    void setSortState(SortKey activeKey, bool ascending);
    bool isActive() const { return active_; }
    QString displayText() const;  // the title, plus " ▲"/" ▼" when active
    QFont displayFont() const;
    QColor displayColour() const;

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
    // Room kept free at the right edge for the results' scroll bar.
    void setScrollBarWidth(int width);

private:
    void refresh();

    Model& model_;
    std::vector<HeaderCell*> cells_;
};

}  // namespace qf
