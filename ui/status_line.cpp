#include "ui/status_line.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

#include "core/text.h"
#include "ui/elided_label.h"
#include "ui/index_progress.h"
#include "ui/theme.h"

namespace qf {

namespace {

const QString kSourceText = QStringLiteral("索引：Spotlight 自动增量");

}  // namespace

QString hintText(const std::string& text) {
    if (trimSpaces(text).empty())
        return QStringLiteral("最近 24 小时修改 · 输入关键词搜索全部文件 · 回车高亮，再按打开");
    return QStringLiteral("空格 = 与 · .jpg = 后缀 · \"词组\" = 精确 · 含 / 取末段 · 回车高亮，再按打开 · ↑↓ 选择");
}

StatusLine::StatusLine(Model& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 5, 12, 5);
    layout->setSpacing(12);
    hint_ = new ElidedLabel(hintText(model_.text()), this);
    hint_->setFont(theme::captionFont());
    layout->addWidget(hint_, 1);
    source_ = new QLabel(kSourceText, this);
    source_->setFont(theme::captionFont());
    layout->addWidget(source_);
    connect(&model_, &Model::textAssigned, this, [this] { hint_->setText(hintText(model_.text())); });
    refreshColours();
}

QString StatusLine::hint() const { return hint_->text(); }

QString StatusLine::source() const { return source_->text(); }

void StatusLine::setIndexStatus(bool crawling, long long entries, long long unlistedFolders) {
    crawling_ = crawling;
    entries_ = entries;
    unlisted_ = unlistedFolders;
    refreshSource();
}

void StatusLine::setSettingsFailure(const QString& failure, bool held) {
    settingsFailure_ = failure;
    settingsHeld_ = held;
    refreshSource();
}

void StatusLine::refreshSource() {
    if (!settingsFailure_.isEmpty())
        source_->setText(settingsFailureText(settingsFailure_, settingsHeld_));
    else if (crawling_)
        source_->setText(crawlProgressText(entries_));
    else if (unlisted_ > 0)
        source_->setText(incompleteIndexText(unlisted_));
    else
        source_->setText(kSourceText);
    // The reason names the file and may not fit: all of it on hovering.
    source_->setToolTip(settingsFailure_.isEmpty() ? QString() : source_->text());
}

void StatusLine::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) refreshColours();
}

void StatusLine::refreshColours() {
    const QColor colour = theme::tertiary(palette());
    hint_->setColour(colour);
    QPalette pal = source_->palette();
    pal.setColor(QPalette::WindowText, colour);
    source_->setPalette(pal);
}

}  // namespace qf
