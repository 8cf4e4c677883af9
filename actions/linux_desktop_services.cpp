#include "actions/linux_desktop_services.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>
#include <cstdlib>

#include "actions/child_exits.h"
#include "actions/file_manager_bus.h"
#include "actions/program_run.h"
#include "actions/terminal_command.h"
#include "actions/text_prompt_dialog.h"
#include "actions/trash.h"
#include "base/path_names.h"
#include "base/spawn.h"
#include "core/hit.h"

namespace qf {

namespace {

QString qPath(const std::string& path) { return QFile::decodeName(path.c_str()); }

QUrl fileUrl(const std::string& path) { return QUrl::fromLocalFile(qPath(path)); }

// The terminal's real name decides its option: x-terminal-emulator and
// $TERMINAL are often links to one of the known terminals.
QString terminalKind(const QString& executable) {
    const QString target = QFileInfo(executable).canonicalFilePath();
    return QFileInfo(target.isEmpty() ? executable : target).fileName();
}

QString findExecutable(const std::string& candidate) {
    const QString name = qPath(candidate);
    if (name.contains('/')) return QFileInfo(name).isExecutable() ? name : QString();
    return QStandardPaths::findExecutable(name);
}

}  // namespace

LinuxDesktopServices::LinuxDesktopServices() : openers_(std::make_unique<ChildExits>()) {}

LinuxDesktopServices::~LinuxDesktopServices() = default;

void LinuxDesktopServices::openItem(const std::string& path) {
    // Qt's own opener starts xdg-open detached and never learns how it
    // ended; its message goes to a terminal nobody reads.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        cannotOpen(path, "找不到 xdg-open（xdg-utils），无法用默认的应用程序打开。");
        return;
    }
    SpawnOptions options;
    options.standardInput = kNullStream;
    // Its own process group: a Ctrl+C in the terminal that started the
    // window must not end the program the item was opened in.
    options.ownProcessGroup = true;
    // A file URL, so no name can be taken for an option of the opener.
    auto pid =
        spawnProcess(QFile::encodeName(opener).toStdString(), {fileUrl(path).toEncoded().toStdString()}, options);
    if (!pid) {
        cannotOpen(path, "xdg-open 无法启动：" + pid.error().message());
        return;
    }
    openers_->watch(*pid, [this, path](const Termination& end) {
        if (end.bySignal || end.status == 0) return;  // opened, or stopped on purpose
        // xdg-open's exit status 2: the file is gone; 3 and 4: no program
        // for its type, or the program failed.
        cannotOpen(path, end.status == 2 ? "该项目已不存在。" : "没有可以打开它的应用程序，或应用程序未能启动。");
    });
}

std::size_t LinuxDesktopServices::openersRunning() const { return openers_->running(); }

void LinuxDesktopServices::cannotOpen(const std::string& path, const std::string& detail) {
    runAlert({"无法打开「" + lastPathComponent(path) + "」", detail, {"好"}, AlertStyle::plain});
}

void LinuxDesktopServices::revealItem(const std::string& path) {
    // Without a file manager on the bus, the item's folder is the next best
    // thing to showing it selected.
    if (!callFileManager("ShowItems", path)) openItem(containingFolder(path));
}

Expected<void> LinuxDesktopServices::showItemProperties(const std::string& path) {
    return callFileManager("ShowItemProperties", path);
}

Expected<void> LinuxDesktopServices::openTerminal(const std::string& folder) {
    const auto candidates = terminalCandidates(std::getenv("TERMINAL"));
    QString lastError;
    for (const auto& candidate : candidates) {
        const QString executable = findExecutable(candidate);
        if (executable.isEmpty()) continue;
        QStringList args;
        for (const auto& a : terminalArguments(terminalKind(executable).toStdString(), folder)) args << qPath(a);
        if (QProcess::startDetached(executable, args, qPath(folder))) return {};
        lastError = QStringLiteral("%1 无法启动").arg(executable);
    }
    if (!lastError.isEmpty()) return Error(Errc::unavailable, lastError.toStdString());
    return Error(Errc::unavailable, "找不到终端程序（已查找 $TERMINAL、x-terminal-emulator 和常见的终端程序）。");
}

void LinuxDesktopServices::setClipboardText(const std::string& text) {
    QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

void LinuxDesktopServices::setClipboardFile(const std::string& path) {
    const QUrl url = fileUrl(path);
    auto mime = std::make_unique<QMimeData>();
    mime->setUrls({url});  // text/uri-list
    // GNOME-family file managers paste this as a copy of the item.
    mime->setData(QStringLiteral("x-special/gnome-copied-files"), QByteArray("copy\n") + url.toEncoded());
    mime->setText(qPath(path));
    QGuiApplication::clipboard()->setMimeData(mime.release());  // the clipboard owns it
}

namespace {

void fitAlertTexts(QMessageBox& box) {
    // QMessageBox wraps its texts at a narrow width of its own: a Chinese
    // title then breaks between any two characters and a short error text
    // mid-word. Each text gets the width of its longest line, within reason.
    constexpr int kWidestText = 520;
    for (const char* name : {"qt_msgbox_label", "qt_msgbox_informativelabel"}) {
        auto* label = box.findChild<QLabel*>(QLatin1String(name));
        if (!label) continue;
        const QFontMetrics metrics(label->font());
        int widest = 0;
        for (const QString& line : label->text().split(QLatin1Char('\n')))
            widest = std::max(widest, metrics.horizontalAdvance(line));
        // A few pixels beyond the measure: rounding must not wrap the line.
        label->setMinimumWidth(std::min(widest + 4, kWidestText));
    }
}

}  // namespace

int LinuxDesktopServices::runAlert(const AlertRequest& request) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.setIcon(request.style == AlertStyle::warning ? QMessageBox::Warning : QMessageBox::NoIcon);
    box.setText(QString::fromStdString(request.title));
    box.setInformativeText(QString::fromStdString(request.detail));
    box.setTextFormat(Qt::PlainText);
    // Digests and error texts are worth selecting and copying.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    std::vector<QPushButton*> buttons;
    for (std::size_t i = 0; i < request.buttons.size(); ++i) {
        // The first button is the affirmative one; the desktop's button
        // layout then places it where its users look for "OK".
        const auto role = i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole;
        buttons.push_back(box.addButton(QString::fromStdString(request.buttons[i]), role));
    }
    if (!buttons.empty()) {
        box.setDefaultButton(buttons.front());
        box.setEscapeButton(buttons.back());
    }
    fitAlertTexts(box);
    box.exec();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (box.clickedButton() == buttons[i]) return kFirstButton + static_cast<int>(i);
    }
    return 0;
}

TextPromptResult LinuxDesktopServices::runTextPrompt(const TextPromptRequest& request) {
    TextPromptDialog dialog(request, QApplication::activeWindow());
    return dialog.ask();
}

std::optional<std::string> LinuxDesktopServices::chooseFolder(const FolderChoiceRequest& request) {
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setFileMode(QFileDialog::Directory);
    // Qt's own dialog, because the platform ones ignore a custom accept label.
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    dialog.setLabelText(QFileDialog::Accept, QString::fromStdString(request.confirmText));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("取消"));
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("位置："));
    dialog.setLabelText(QFileDialog::FileName, QStringLiteral("文件夹："));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("类型："));
    dialog.setWindowTitle(QString::fromStdString(request.message));
    // Not the process's working folder, which means nothing to the user.
    dialog.setDirectory(QDir::homePath());
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
    return QFile::encodeName(chosen.front()).toStdString();
}

Expected<void> LinuxDesktopServices::moveToTrash(const std::string& path) { return moveItemToTrash(path); }

Expected<int> LinuxDesktopServices::runProgram(const std::string& program, const std::vector<std::string>& args) {
    return runProgramAndWait(program, args);
}

}  // namespace qf
