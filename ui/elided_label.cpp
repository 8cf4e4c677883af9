#include "ui/elided_label.h"

#include <QPainter>

namespace qf {

ElidedLabel::ElidedLabel(QString text, QWidget* parent) : QWidget(parent), text_(std::move(text)) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ElidedLabel::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    updateGeometry();
    update();
}

void ElidedLabel::setColour(const QColor& colour) {
    colour_ = colour;
    update();
}

QSize ElidedLabel::sizeHint() const { return {fontMetrics().horizontalAdvance(text_), fontMetrics().height()}; }

QSize ElidedLabel::minimumSizeHint() const { return {0, fontMetrics().height()}; }

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(colour_.isValid() ? colour_ : palette().color(QPalette::WindowText));
    p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, fontMetrics().elidedText(text_, Qt::ElideRight, width()));
}

}  // namespace qf
