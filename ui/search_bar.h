#pragma once
// The row above the results: symbol, search field, progress while a search
// gathers, the count, the preview toggle and the options pull-down.
#include <QWidget>

#include "model/model.h"

class QLabel;
class QLineEdit;
class QToolButton;

namespace qf {

class OptionsMenu;
class Spinner;

// Model::total as the count: plain decimal, no grouping, then " 项".
QString countText(std::int64_t total);

class SearchBar : public QWidget {
    Q_OBJECT
public:
    explicit SearchBar(Model& model, QWidget* parent = nullptr);

    QLineEdit* field() const { return field_; }
    QToolButton* previewButton() const { return previewButton_; }
    QToolButton* optionsButton() const { return optionsButton_; }
    OptionsMenu* optionsMenu() const { return menu_; }
    Spinner* progress() const { return spinner_; }
    QLabel* countLabel() const { return count_; }

    // Colours the toggle: accent while the preview is shown.
    void setPreviewShown(bool shown);

signals:
    void previewToggleClicked();

protected:
    void changeEvent(QEvent* event) override;

private:
    void showModelText();
    void refreshSymbols();

    Model& model_;
    QLabel* symbol_;
    QLineEdit* field_;
    Spinner* spinner_;
    QLabel* count_;
    QToolButton* previewButton_;
    QToolButton* optionsButton_;
    OptionsMenu* menu_;
    bool previewShown_ = false;
};

}  // namespace qf
