#pragma once
// The search bar's pull-down: the two matching switches, three example
// queries and the syntax reminder lines (shown, not choosable).
#include <QMenu>
#include <QString>

#include "model/model.h"

namespace qf {

// "✓ " before the name when on; an ideographic space and two spaces when
// off, so both states line up.
QString switchLabel(const QString& name, bool on);

class OptionsMenu : public QMenu {
    Q_OBJECT
public:
    explicit OptionsMenu(Model& model, QWidget* parent = nullptr);

    QAction* caseSensitiveAction() const { return caseAction_; }
    QAction* regexModeAction() const { return regexAction_; }

signals:
    // An example query was chosen; the window puts it into the search field.
    void exampleChosen(const QString& text);

private:
    void refreshLabels();

    Model& model_;
    QAction* caseAction_;
    QAction* regexAction_;
};

}  // namespace qf
