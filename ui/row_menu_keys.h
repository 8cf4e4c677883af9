#pragma once
// The menu key and Shift+F10 open the selected row's menu wherever the
// keyboard focus is in the window: in the search field (which keeps the
// focus while the user walks the results with Up and Down), in the results,
// on a button, or nowhere at all, as after a dialog opened from the row
// menu was cancelled. Without a selected row the keys reach the focused
// control as usual (the field's edit menu).
#include <QObject>
#include <QPointer>

class QKeyEvent;
class QWidget;

namespace qf {

class ResultsView;

// True for the keys that ask for a context menu: Menu alone, Shift+F10.
bool isMenuKey(const QKeyEvent& event);

class RowMenuKeys : public QObject {
    Q_OBJECT
public:
    // Watches every control of `window` (an application-wide filter, so
    // controls made later count too) until destroyed.
    RowMenuKeys(ResultsView* results, QWidget* window, QObject* parent = nullptr);
    ~RowMenuKeys() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<ResultsView> results_;
    QPointer<QWidget> window_;
};

}  // namespace qf
