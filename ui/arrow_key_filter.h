#pragma once
// Up and Down anywhere in the window, ahead of the focused control: once a
// row is selected they move the selection, even while the search field has
// the focus; without a selection they reach the control as usual.
#include <QObject>
#include <QPointer>

#include "model/model.h"

class QWidget;

namespace qf {

class ArrowKeyFilter : public QObject {
    Q_OBJECT
public:
    // Installs itself on the application; removed when destroyed.
    ArrowKeyFilter(Model& model, QWidget* window, QObject* parent = nullptr);
    ~ArrowKeyFilter() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<Model> model_;
    QPointer<QWidget> window_;
};

}  // namespace qf
