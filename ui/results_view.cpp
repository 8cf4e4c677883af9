#include "ui/results_view.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>

#include "model/desktop_services.h"
#include "ui/results_table_model.h"
#include "ui/row_delegate.h"

namespace qf {

ResultsView::ResultsView(Model& model, QWidget* parent)
    : QTableView(parent), model_(model), table_(new ResultsTableModel(this)), delegate_(new RowDelegate(this)) {
    setModel(table_);
    setItemDelegate(delegate_);
    setFrameShape(QFrame::NoFrame);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the results for the next control; the arrows walk the rows.
    setTabKeyNavigation(false);
    setAccessibleName(QStringLiteral("搜索结果"));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setMouseTracking(false);

    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(delegate_->rowHeight());
    horizontalHeader()->hide();
    horizontalHeader()->setMinimumSectionSize(0);
    for (int c = 0; c < table_->columnCount(); ++c) {
        const int width = ResultsTableModel::columnWidth(c);
        if (width == 0) {
            horizontalHeader()->setSectionResizeMode(c, QHeaderView::Stretch);
        } else {
            horizontalHeader()->setSectionResizeMode(c, QHeaderView::Fixed);
            horizontalHeader()->resizeSection(c, RowDelegate::sectionWidth(c, width));
        }
    }

    connect(&model_, &Model::hitsAssigned, this, &ResultsView::showHits);
    connect(&model_, &Model::selectedPathAssigned, this, &ResultsView::showSelectedPath);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &ResultsView::onSelectionChanged);
    connect(this, &QAbstractItemView::doubleClicked, this, &ResultsView::onDoubleClicked);
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, &ResultsView::reportScrollBarWidth);

    showHits();
}

QRect ResultsView::rowRect(int row) const {
    return visualRect(table_->index(row, 0)).united(visualRect(table_->index(row, table_->columnCount() - 1)));
}

void ResultsView::showHits() {
    // The selection model forgets everything on a reset; the Model's
    // selectedPath must not be cleared by that.
    syncing_ = true;
    table_->setHits(model_.hits());
    syncing_ = false;
    showSelectedPath();
}

void ResultsView::showSelectedPath() {
    syncing_ = true;
    const auto& path = model_.selectedPath();
    const int row = path ? table_->rowOfPath(*path) : -1;
    if (row >= 0) {
        const QModelIndex index = table_->index(row, 0);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(index);
    } else {
        selectionModel()->clearSelection();
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
    syncing_ = false;
}

void ResultsView::onSelectionChanged() {
    if (syncing_) return;
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        model_.setSelectedPath(std::nullopt);
        return;
    }
    if (const Hit* hit = table_->hitAt(rows.first().row())) model_.setSelectedPath(hit->path());
}

void ResultsView::onDoubleClicked(const QModelIndex& index) {
    if (const Hit* hit = table_->hitAt(index.row())) model_.desktop().openItem(hit->path());
}

bool ResultsView::requestMenuForSelection() {
    const auto& path = model_.selectedPath();
    const int row = path ? table_->rowOfPath(*path) : -1;
    const Hit* hit = table_->hitAt(row);
    if (!hit) return false;
    // The menu belongs beside its row, which may have been scrolled away.
    scrollTo(table_->index(row, 0));
    const QPoint pos = rowRect(row).bottomLeft() + QPoint(RowDelegate::kSidePadding, 0);
    const Hit copy = *hit;  // the handler may start a run that replaces the rows
    emit rowMenuRequested(copy, viewport()->mapToGlobal(pos));
    return true;
}

void ResultsView::contextMenuEvent(QContextMenuEvent* event) {
    // From the keyboard the menu belongs to the selected row, under it.
    if (event->reason() == QContextMenuEvent::Keyboard) {
        if (requestMenuForSelection()) event->accept();
        return;
    }
    const Hit* hit = table_->hitAt(indexAt(event->pos()).row());
    if (!hit) return;
    event->accept();
    const Hit copy = *hit;  // the handler may start a run that replaces the rows
    emit rowMenuRequested(copy, viewport()->mapToGlobal(event->pos()));
}

void ResultsView::mousePressEvent(QMouseEvent* event) {
    // The row menu acts on its own row without selecting it.
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

void ResultsView::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    reportScrollBarWidth();
}

void ResultsView::reportScrollBarWidth() {
    const QScrollBar* bar = verticalScrollBar();
    const bool visible = bar->maximum() > bar->minimum() && verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff;
    const int width = visible ? bar->sizeHint().width() : 0;
    if (width == lastScrollBarWidth_) return;
    lastScrollBarWidth_ = width;
    emit scrollBarWidthChanged(width);
}

}  // namespace qf
