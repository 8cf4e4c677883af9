#include "ui/options_menu.h"

namespace qf {

namespace {

const QString kCaseSensitive = QStringLiteral("区分大小写");
const QString kRegex = QStringLiteral("正则表达式");

}  // namespace

QString switchLabel(const QString& name, bool on) {
    return (on ? QStringLiteral("✓ ") : QStringLiteral("\u3000  ")) + name;
}

OptionsMenu::OptionsMenu(Model& model, QWidget* parent) : QMenu(parent), model_(model) {
    caseAction_ = addAction(QString());
    connect(caseAction_, &QAction::triggered, this, [this] { model_.setCaseSensitive(!model_.caseSensitive()); });
    regexAction_ = addAction(QString());
    connect(regexAction_, &QAction::triggered, this, [this] { model_.setRegexMode(!model_.regexMode()); });
    addSeparator();
    for (const QString& example : {QStringLiteral("*.pdf"), QStringLiteral("*.docx"), QStringLiteral("*.xlsx")}) {
        QAction* action = addAction(example);
        connect(action, &QAction::triggered, this, [this, example] { emit exampleChosen(example); });
    }
    addSeparator();
    for (const QString& line : {
             QStringLiteral("语法：空格 = 与（同时包含）"),
             QStringLiteral("语法：\"词组\" = 精确短语"),
             QStringLiteral("语法：* ? = 通配符"),
             QStringLiteral("语法：.jpg .md = 按后缀过滤"),
             QStringLiteral("语法：输入含 / 时按末段文件名查找"),
         }) {
        addAction(line)->setEnabled(false);
    }
    connect(&model_, &Model::caseSensitiveAssigned, this, &OptionsMenu::refreshLabels);
    connect(&model_, &Model::regexModeAssigned, this, &OptionsMenu::refreshLabels);
    connect(this, &QMenu::aboutToShow, this, &OptionsMenu::refreshLabels);
    refreshLabels();
}

void OptionsMenu::refreshLabels() {
    caseAction_->setText(switchLabel(kCaseSensitive, model_.caseSensitive()));
    regexAction_->setText(switchLabel(kRegex, model_.regexMode()));
}

}  // namespace qf
