#pragma once
// A one-pixel separator line in the faint separator colour.
#include <QWidget>

namespace qf {

class Divider : public QWidget {
    Q_OBJECT
public:
    explicit Divider(Qt::Orientation orientation, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace qf
