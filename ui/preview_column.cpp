#include "ui/preview_column.h"

#include <QLabel>
#include <QVBoxLayout>

#include "ui/preview_pane.h"
#include "ui/theme.h"

namespace qf {

PreviewColumn::PreviewColumn(QWidget* parent) : QWidget(parent) {
    setFixedWidth(kWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    empty_ = new QWidget(this);
    auto* emptyLayout = new QVBoxLayout(empty_);
    emptyLayout->addStretch();
    auto* note = new QLabel(QStringLiteral("选中文件后在此预览"), empty_);
    note->setFont(theme::captionFont());
    QPalette pal = note->palette();
    pal.setColor(QPalette::WindowText, theme::tertiary(palette()));
    note->setPalette(pal);
    emptyLayout->addWidget(note, 0, Qt::AlignHCenter);
    emptyLayout->addStretch();
    layout->addWidget(empty_);
}

void PreviewColumn::showHit(const std::optional<Hit>& hit) {
    if (hit && pane_ && pane_->path() == hit->path()) return;
    if (pane_) {
        // Detached at once, so no trace of the old item stays on screen.
        pane_->hide();
        pane_->setParent(nullptr);
        pane_->deleteLater();
        pane_ = nullptr;
    }
    if (hit) {
        pane_ = new PreviewPane(*hit, this);
        layout()->addWidget(pane_);
        pane_->show();
    }
    empty_->setVisible(!hit);
}

}  // namespace qf
