#pragma once
// The menu key and Shift+F10 open the selected row's menu from the search
// field too, as Up and Down move the selection from there: the field keeps
// the focus while the user walks the results. Without a selected row the
// keys reach the watched control as usual (the field's edit menu).
#include <QObject>
#include <QPointer>

class QKeyEvent;

namespace qf {

class ResultsView;

// True for the keys that ask for a context menu: Menu alone, Shift+F10.
bool isMenuKey(const QKeyEvent& event);

class RowMenuKeys : public QObject {
    Q_OBJECT
public:
    // Watches `control` (the search field, the results) for the menu keys.
    RowMenuKeys(ResultsView* results, QObject* parent = nullptr);
    void watch(QObject* control);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<ResultsView> results_;
};

}  // namespace qf
