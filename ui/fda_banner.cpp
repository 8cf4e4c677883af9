#include "ui/fda_banner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/divider.h"
#include "ui/theme.h"

namespace qf {

namespace {

// Wraps to a second line in a narrow window and is cut after it.
class TwoLineLabel : public QLabel {
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override { return {40, fontMetrics().lineSpacing()}; }
    int heightForWidth(int width) const override {
        return std::min(QLabel::heightForWidth(width), 2 * fontMetrics().lineSpacing());
    }
};

QPushButton* smallButton(const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setFont(theme::systemFont(11));
    button->setAutoDefault(false);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return button;
}

}  // namespace

FdaBanner::FdaBanner(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* strip = new QWidget(this);
    strip->setAutoFillBackground(true);
    QPalette pal = strip->palette();
    QColor fill = theme::orange();
    fill.setAlphaF(0.14);
    // The fill is drawn over the window background, as a translucent tint.
    const QColor base = palette().color(QPalette::Window);
    const QColor mixed = QColor::fromRgbF(base.redF() + (fill.redF() - base.redF()) * fill.alphaF(),
                                          base.greenF() + (fill.greenF() - base.greenF()) * fill.alphaF(),
                                          base.blueF() + (fill.blueF() - base.blueF()) * fill.alphaF());
    pal.setColor(QPalette::Window, mixed);
    strip->setPalette(pal);

    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(12, 7, 12, 7);
    row->setSpacing(8);

    auto* icon = new QLabel(strip);
    icon->setPixmap(theme::tinted(theme::warningSymbol(), 16, theme::orange(), devicePixelRatioF()));
    row->addWidget(icon);

    message_ = new TwoLineLabel(
        QStringLiteral("缺少「完全磁盘访问权限」——桌面、文档、下载等目录里的文件会搜不到（外置盘不受影响）。"), strip);
    message_->setFont(theme::systemFont(12));
    message_->setMaximumHeight(2 * message_->fontMetrics().lineSpacing());
    message_->setWordWrap(true);
    message_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    message_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    row->addWidget(message_, 1);
    row->addSpacing(8);

    settings_ = smallButton(QStringLiteral("打开系统设置"), strip);
    connect(settings_, &QPushButton::clicked, this, &FdaBanner::openSettingsRequested);
    row->addWidget(settings_);

    recheck_ = smallButton(QStringLiteral("重新检测"), strip);
    recheck_->setToolTip(QStringLiteral("在系统设置里勾选本应用后点这里，无需重启"));
    connect(recheck_, &QPushButton::clicked, this, &FdaBanner::recheckRequested);
    row->addWidget(recheck_);

    column->addWidget(strip);
    column->addWidget(new Divider(Qt::Horizontal, this));
}

}  // namespace qf
