#pragma once
// The orange strip at the top of the window while full disk access is
// missing: what it means, a way to the settings and a re-check.
#include <QWidget>

class QLabel;
class QPushButton;

namespace qf {

class FdaBanner : public QWidget {
    Q_OBJECT
public:
    explicit FdaBanner(QWidget* parent = nullptr);

    QLabel* message() const { return message_; }
    QPushButton* settingsButton() const { return settings_; }
    QPushButton* recheckButton() const { return recheck_; }

signals:
    void openSettingsRequested();
    void recheckRequested();

private:
    QLabel* message_;
    QPushButton* settings_;
    QPushButton* recheck_;
};

}  // namespace qf
