#pragma once
// A small indeterminate progress indicator: a rotating arc, animated only
// while visible.
#include <QTimer>
#include <QWidget>

namespace qf {

class Spinner : public QWidget {
    Q_OBJECT
public:
    explicit Spinner(int size = 16, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer timer_;
    int size_;
    int angle_ = 0;
};

}  // namespace qf
