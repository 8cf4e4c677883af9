#include "actions/text_prompt_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace qf {

TextPromptDialog::TextPromptDialog(const TextPromptRequest& request, QWidget* parent) : QDialog(parent) {
    setWindowModality(Qt::ApplicationModal);
    setWindowTitle(QString::fromStdString(request.title));
    auto* layout = new QVBoxLayout(this);

    auto* title = new QLabel(QString::fromStdString(request.title), this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    layout->addWidget(title);

    auto* detail = new QLabel(QString::fromStdString(request.detail), this);
    detail->setWordWrap(true);
    detail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    detail->setTextFormat(Qt::PlainText);
    layout->addWidget(detail);

    field_ = new QLineEdit(QString::fromStdString(request.initialText), this);
    field_->setFixedSize(300, 24);
    field_->selectAll();
    layout->addWidget(field_);

    auto* box = new QDialogButtonBox(this);
    for (std::size_t i = 0; i < request.buttons.size(); ++i) {
        const auto role = i == 0 ? QDialogButtonBox::AcceptRole : QDialogButtonBox::RejectRole;
        QPushButton* button = box->addButton(QString::fromStdString(request.buttons[i]), role);
        button->setAutoDefault(false);
        if (i == 0) button->setDefault(true);
        connect(button, &QPushButton::clicked, this, [this, i] {
            response_ = kFirstButton + static_cast<int>(i);
            done(response_);
        });
    }
    layout->addWidget(box);
    // Escape answers like the last button (the cancel of a confirmation).
    response_ = request.buttons.empty() ? 0 : kFirstButton + static_cast<int>(request.buttons.size()) - 1;
    setFocusProxy(field_);
    field_->setFocus();
}

TextPromptResult TextPromptDialog::ask() {
    const int fallback = response_;
    const int code = exec();
    return {code == QDialog::Rejected ? fallback : code, field_->text().toStdString()};
}

}  // namespace qf
