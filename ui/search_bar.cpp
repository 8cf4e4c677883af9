#include "ui/search_bar.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

#include "ui/options_menu.h"
#include "ui/spinner.h"
#include "ui/theme.h"

namespace qf {

namespace {

constexpr int kSymbolSize = 16;

const QString kPlaceholder = QStringLiteral("搜索文件或文件夹（空格 = 与，* ? 通配，.后缀过滤，含 / 取末段）");

QToolButton* plainButton(QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    // Reached with Tab, but a click leaves the focus in the search field.
    button->setFocusPolicy(Qt::TabFocus);
    button->setIconSize(QSize(kSymbolSize, kSymbolSize));
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return button;
}

}  // namespace

QString countText(std::int64_t total) { return QString::number(static_cast<qlonglong>(total)) + QStringLiteral(" 项"); }

SearchBar::SearchBar(Model& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(8);

    symbol_ = new QLabel(this);
    layout->addWidget(symbol_);

    field_ = new QLineEdit(this);
    field_->setFrame(false);
    field_->setFont(theme::systemFont(15));
    field_->setPlaceholderText(kPlaceholder);
    field_->setAccessibleName(QStringLiteral("搜索"));
    field_->setAttribute(Qt::WA_MacShowFocusRect, false);
    field_->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
    field_->setText(QString::fromStdString(model_.text()));
    layout->addWidget(field_, 1);

    spinner_ = new Spinner(14, this);
    spinner_->setVisible(model_.gathering());
    layout->addWidget(spinner_);

    count_ = new QLabel(countText(model_.total()), this);
    count_->setFont(theme::systemFont(11));
    layout->addWidget(count_);

    previewButton_ = plainButton(this);
    previewButton_->setToolTip(QStringLiteral("显示/隐藏预览面板"));
    connect(previewButton_, &QToolButton::clicked, this, &SearchBar::previewToggleClicked);
    layout->addWidget(previewButton_);

    optionsButton_ = plainButton(this);
    menu_ = new OptionsMenu(model_, optionsButton_);
    optionsButton_->setMenu(menu_);
    optionsButton_->setPopupMode(QToolButton::InstantPopup);
    optionsButton_->setToolTip(QStringLiteral("搜索选项与语法"));
    optionsButton_->setAccessibleName(QStringLiteral("搜索选项"));
    optionsButton_->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
    layout->addWidget(optionsButton_);

    connect(&model_, &Model::gatheringAssigned, this, [this] { spinner_->setVisible(model_.gathering()); });
    connect(&model_, &Model::totalAssigned, this, [this] { count_->setText(countText(model_.total())); });
    connect(&model_, &Model::textAssigned, this, &SearchBar::showModelText);
    refreshSymbols();
}

void SearchBar::setPreviewShown(bool shown) {
    previewShown_ = shown;
    refreshSymbols();
}

void SearchBar::showModelText() {
    // Text set by the Model itself (start-up query, simulate mode); a field
    // that already shows it keeps its cursor.
    const QString text = QString::fromStdString(model_.text());
    if (field_->text() != text) field_->setText(text);
}

void SearchBar::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) refreshSymbols();
}

void SearchBar::refreshSymbols() {
    const QPalette& pal = palette();
    const qreal dpr = devicePixelRatioF();
    symbol_->setPixmap(theme::tinted(theme::searchSymbol(), kSymbolSize, theme::secondary(pal), dpr));
    const QColor toggleColour = previewShown_ ? theme::accent(pal) : theme::secondary(pal);
    // The colour is the state for the eye; the name says it to the ear.
    previewButton_->setAccessibleName(previewShown_ ? QStringLiteral("隐藏预览面板") : QStringLiteral("显示预览面板"));
    previewButton_->setIcon(QIcon(theme::tinted(theme::previewSymbol(), kSymbolSize, toggleColour, dpr)));
    optionsButton_->setIcon(QIcon(theme::tinted(theme::chevronDown(), kSymbolSize, theme::secondary(pal), dpr)));
    QPalette countPalette = count_->palette();
    countPalette.setColor(QPalette::WindowText, theme::secondary(pal));
    count_->setPalette(countPalette);
}

}  // namespace qf
