#pragma once
// The column at the right of the window: the preview of the selected hit,
// or a short note when nothing is selected.
#include <QWidget>
#include <optional>

#include "core/hit.h"

class QLabel;

namespace qf {

class PreviewPane;

class PreviewColumn : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 320;

    explicit PreviewColumn(QWidget* parent = nullptr);

    // A hit with another path than the current pane's gets a new pane.
    void showHit(const std::optional<Hit>& hit);
    PreviewPane* pane() const { return pane_; }
    QWidget* emptyState() const { return empty_; }

private:
    PreviewPane* pane_ = nullptr;
    QWidget* empty_;
};

}  // namespace qf
