#pragma once
// One line of text that is shortened with an ellipsis instead of widening
// its window when it does not fit.
#include <QWidget>

namespace qf {

class ElidedLabel : public QWidget {
    Q_OBJECT
public:
    explicit ElidedLabel(QString text = {}, QWidget* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);
    void setColour(const QColor& colour);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    QColor colour_;
};

}  // namespace qf
