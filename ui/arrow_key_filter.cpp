#include "ui/arrow_key_filter.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

namespace qf {

ArrowKeyFilter::ArrowKeyFilter(Model& model, QWidget* window, QObject* parent)
    : QObject(parent), model_(&model), window_(window) {
    QCoreApplication::instance()->installEventFilter(this);
}

ArrowKeyFilter::~ArrowKeyFilter() {
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
}

bool ArrowKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !model_ || !window_) return false;
    // Key presses pass the filter once for the platform window and once per
    // widget; deciding on widgets only keeps it to one decision per press.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != window_) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up) return model_->arrowKey(-1);
    if (key == Qt::Key_Down) return model_->arrowKey(+1);
    return false;
}

}  // namespace qf
