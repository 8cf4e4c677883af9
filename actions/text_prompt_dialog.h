#pragma once
// A modal dialog with a bold title, an explanation, one 300×24 line edit
// that has the keyboard focus, and the buttons of the request.
#include <QDialog>

#include "model/desktop_services.h"

class QLineEdit;

namespace qf {

class TextPromptDialog : public QDialog {
public:
    explicit TextPromptDialog(const TextPromptRequest& request, QWidget* parent = nullptr);
    // Shows the dialog and waits for an answer.
    TextPromptResult ask();
    QLineEdit* field() const { return field_; }

private:
    QLineEdit* field_ = nullptr;
    int response_ = 0;
};

}  // namespace qf
