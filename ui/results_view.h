#pragma once
// The results list: one row per hit of the Model, single selection bound to
// Model::selectedPath, double click opens, secondary click asks for the row
// menu.
#include <QPoint>
#include <QTableView>

#include "core/hit.h"
#include "model/model.h"

namespace qf {

class ResultsTableModel;
class RowDelegate;

class ResultsView : public QTableView {
    Q_OBJECT
public:
    explicit ResultsView(Model& model, QWidget* parent = nullptr);

    ResultsTableModel& tableModel() const { return *table_; }
    // The row's rectangle in viewport coordinates (tests click on it).
    QRect rowRect(int row) const;
    // The row menu of the selected row, placed under it, as from the menu
    // key. False when no shown row is selected.
    bool requestMenuForSelection();

signals:
    // A secondary click on a row; `globalPos` is where the menu belongs. The
    // row is not selected by it.
    void rowMenuRequested(const qf::Hit& hit, const QPoint& globalPos);
    // The width the vertical scroll bar takes from the rows (0 when hidden),
    // so the header row can keep its cells above the columns.
    void scrollBarWidthChanged(int width);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void showHits();
    void showSelectedPath();
    void onSelectionChanged();
    void onDoubleClicked(const QModelIndex& index);
    void reportScrollBarWidth();

    Model& model_;
    ResultsTableModel* table_;
    RowDelegate* delegate_;
    bool syncing_ = false;
    int lastScrollBarWidth_ = -1;
};

}  // namespace qf
