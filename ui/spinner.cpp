#include "ui/spinner.h"

#include <QPainter>

#include "ui/theme.h"

namespace qf {

Spinner::Spinner(int size, QWidget* parent) : QWidget(parent), size_(size) {
    setFixedSize(size_, size_);
    timer_.setInterval(50);
    connect(&timer_, &QTimer::timeout, this, [this] {
        angle_ = (angle_ + 30) % 360;
        update();
    });
}

QSize Spinner::sizeHint() const { return {size_, size_}; }

void Spinner::showEvent(QShowEvent*) { timer_.start(); }

void Spinner::hideEvent(QHideEvent*) { timer_.stop(); }

void Spinner::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal pen = std::max(1.5, size_ / 8.0);
    const QRectF box = QRectF(rect()).adjusted(pen, pen, -pen, -pen);
    QColor track = theme::secondary(palette());
    track.setAlphaF(0.2);
    p.setPen(QPen(track, pen));
    p.drawEllipse(box);
    p.setPen(QPen(theme::secondary(palette()), pen, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(box, -angle_ * 16, 100 * 16);
}

}  // namespace qf
