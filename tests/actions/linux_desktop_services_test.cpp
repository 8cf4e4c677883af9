// The real desktop services on the offscreen platform: clipboard formats,
// dialogs with their buttons, terminals and their options.
#include "actions/linux_desktop_services.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "actions/terminal_command.h"
#include "actions/text_prompt_dialog.h"
#include "support.h"

namespace qf::test {
namespace {

// Runs `inspect` on the modal dialog once its event loop is running.
void whenModal(std::function<void(QWidget*)> inspect) {
    QTimer::singleShot(0, [inspect] {
        QWidget* w = QApplication::activeModalWidget();
        ASSERT_TRUE(w) << "no modal dialog";
        inspect(w);
    });
}

QPushButton* buttonNamed(QWidget* dialog, const QString& text) {
    for (auto* b : dialog->findChildren<QPushButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

TEST(LinuxClipboard, FileGoesOnAsUriListGnomeCopyAndText) {
    LinuxDesktopServices desktop;
    const std::string path = "/tmp/我的 文件#1.txt";
    desktop.setClipboardFile(path);
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(mime);
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(path));
    EXPECT_EQ(mime->urls(), QList<QUrl>{url});
    EXPECT_EQ(mime->data("x-special/gnome-copied-files"), QByteArray("copy\n") + url.toEncoded());
    EXPECT_EQ(mime->text().toStdString(), path);
    desktop.setClipboardText("a.txt");
    mime = QGuiApplication::clipboard()->mimeData();
    EXPECT_EQ(mime->text(), "a.txt");
    EXPECT_FALSE(mime->hasUrls()) << "the earlier file reference is gone";
}

// The first button is the default; Escape answers like the last one.
TEST(LinuxAlert, ButtonsInOrderAndTheAnswerOfEach) {
    const struct {
        std::vector<std::string> buttons;
        QString press;  // empty: Escape
        int answer;
    } cases[] = {
        {{"确定", "取消"}, "取消", kFirstButton + 1},
        {{"确定", "取消"}, "", kFirstButton + 1},
        {{"好"}, "好", kFirstButton},
    };
    const std::string title = "无法将项目移到所选文件夹";
    const std::string detail = "「季度报告 Q3.docx」无法移到「项目报告」，因为该处已有同名项目。";
    for (const auto& c : cases) {
        whenModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_TRUE(box);
            EXPECT_EQ(box->text().toStdString(), title);
            EXPECT_EQ(box->informativeText().toStdString(), detail);
            EXPECT_EQ(box->icon(), QMessageBox::Warning);
            ASSERT_EQ(box->buttons().size(), static_cast<qsizetype>(c.buttons.size()));
            QPushButton* first = buttonNamed(box, QString::fromStdString(c.buttons.front()));
            EXPECT_EQ(box->defaultButton(), first);
            EXPECT_EQ(box->buttonRole(first), QMessageBox::AcceptRole);
            if (c.press.isEmpty()) {
                QTest::keyClick(box, Qt::Key_Escape);
            } else {
                buttonNamed(box, c.press)->click();
            }
        });
        EXPECT_EQ(LinuxDesktopServices().runAlert({title, detail, c.buttons, AlertStyle::warning}), c.answer)
            << c.press.toStdString();
    }
}

TEST(LinuxTextPrompt, FocusedFieldOfThreeHundredByTwentyFour) {
    for (const bool confirm : {true, false}) {
        whenModal([confirm](QWidget* w) {
            auto* dialog = dynamic_cast<TextPromptDialog*>(w);
            ASSERT_TRUE(dialog);
            EXPECT_EQ(dialog->field()->size(), QSize(300, 24));
            EXPECT_EQ(dialog->field()->text(), "a.txt");
            EXPECT_TRUE(QTest::qWaitFor([dialog] { return dialog->field()->hasFocus(); }, 2000));
            // Typing replaces the whole name at once.
            QTest::keyClicks(dialog->field(), "b.txt");
            buttonNamed(dialog, confirm ? "确定" : "取消")->click();
        });
        const TextPromptResult r =
            LinuxDesktopServices().runTextPrompt({"重命名", "/x/a.txt", "a.txt", {"确定", "取消"}});
        EXPECT_EQ(r.response, confirm ? kFirstButton : kFirstButton + 1);
        EXPECT_EQ(r.text, "b.txt");
    }
}

TEST(LinuxFolderChooser, ConfirmTextMessageAndChoice) {
    TempDir dir;
    for (const bool accept : {true, false}) {
        whenModal([&dir, accept](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            ASSERT_TRUE(dialog);
            EXPECT_EQ(dialog->labelText(QFileDialog::Accept), "移动到此处");
            EXPECT_EQ(dialog->windowTitle(), "选择目标文件夹（效果同剪切到此）");
            EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
            dialog->setDirectory(QString::fromStdString(dir.path()));
            dialog->selectFile(QString::fromStdString(dir.path()));
            QMetaObject::invokeMethod(dialog, accept ? "accept" : "reject");
        });
        const auto chosen = LinuxDesktopServices().chooseFolder({"移动到此处", "选择目标文件夹（效果同剪切到此）"});
        EXPECT_EQ(chosen.has_value(), accept);
        if (chosen) {
            EXPECT_EQ(std::filesystem::canonical(*chosen), std::filesystem::canonical(dir.path()));
        }
    }
}

// A known terminal gets its folder option in its own style (wezterm has
// its own, xterm none) and the folder as one argument; $TERMINAL comes first
// and is known by what its link resolves to; with none at all the reason
// names what was looked for.
TEST(LinuxTerminal, PicksTheTerminalAndItsFolderOption) {
    TempDir bin, out, parent;
    const std::string folder = parent / "a b'$(rm -rf x)";
    std::filesystem::create_directory(folder);
    ScopedEnv path("PATH", bin.path());
    const struct {
        std::vector<std::string> installed;
        std::optional<std::string> variable;
        std::string log;  // empty: no terminal starts
    } cases[] = {
        {{"konsole"}, std::nullopt, folder + "\n--workdir\n" + folder + "\n"},
        {{"gnome-terminal"}, std::nullopt, folder + "\n--working-directory=" + folder + "\n"},
        {{"wezterm"}, std::nullopt, folder + "\nstart\n--cwd\n" + folder + "\n"},
        {{"xterm"}, std::nullopt, folder + "\n"},
        {{"my-term", "konsole", "x-terminal-emulator->konsole", "kitty->my-term"}, "kitty", folder + "\n"},
        {{}, std::nullopt, ""},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(bin.path());
        std::filesystem::create_directory(bin.path());
        for (const std::string& name : c.installed) {
            const auto arrow = name.find("->");
            if (arrow != std::string::npos) {
                std::filesystem::create_symlink(bin / name.substr(arrow + 2), bin / name.substr(0, arrow));
                continue;
            }
            // A fake terminal that writes its working folder and arguments.
            writeFile(bin / name, "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"$a\"; done; } > '" + (out / "tmp") +
                                      "' && /bin/mv '" + (out / "tmp") + "' '" + (out / "log") + "'\n");
            std::filesystem::permissions(bin / name, std::filesystem::perms::owner_all);
        }
        ScopedEnv terminal("TERMINAL", c.variable ? std::optional(bin / *c.variable) : std::nullopt);
        const auto r = LinuxDesktopServices().openTerminal(folder);
        EXPECT_EQ(bool(r), !c.log.empty()) << c.log;
        if (r) {
            (void)QTest::qWaitFor([&out] { return exists(out / "log"); }, 5000);
            EXPECT_EQ(readFile(out / "log"), c.log);
            std::filesystem::remove(out / "log");
        } else {
            EXPECT_NE(r.error().message().find("x-terminal-emulator"), std::string::npos) << r.error().message();
        }
    }
    // Every other terminal looked for has a style too, or it would open in
    // the wrong folder.
    EXPECT_EQ(terminalCandidates(""), terminalCandidates(nullptr));  // an empty $TERMINAL is none
    for (const auto& name : terminalCandidates(nullptr)) {
        const bool noOption = name == "x-terminal-emulator" || name == "xterm";
        EXPECT_EQ(terminalArguments(name, "/f").empty(), noOption) << name;
    }
}

// Opening hands the item to xdg-open as a file URL and returns at once; how
// the opener ends decides whether the user is told that nothing opens it.
TEST(LinuxOpen, TellsTheUserWhenNothingOpensTheItem) {
    class AlertRecorder : public LinuxDesktopServices {
    public:
        int runAlert(const AlertRequest& request) override {
            alerts.push_back(request);
            return kFirstButton;
        }
        std::vector<AlertRequest> alerts;
    };
    TempDir bin, out;
    ScopedEnv path("PATH", bin.path());
    const std::string item = out / "季度 报告#1.xyz";
    const std::string noProgram = "没有可以打开它的应用程序，或应用程序未能启动。";
    const struct {
        const char* opener;  // the fake xdg-open's last line; null: none installed
        std::string detail;  // empty: no alert
    } cases[] = {
        {"exit 0", ""},
        {"/bin/sleep 0.3; exit 3", noProgram},  // no method for the type, told once it ends
        {"exit 4", noProgram},
        {"exit 2", "该项目已不存在。"},
        {"kill -TERM $$", ""},  // stopped on purpose
        {nullptr, "找不到 xdg-open（xdg-utils），无法用默认的应用程序打开。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.opener ? c.opener : "no opener");
        std::filesystem::remove(bin / "xdg-open");
        std::filesystem::remove(out / "args");
        if (c.opener) {
            writeFile(bin / "xdg-open", "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" + (out / "args") +
                                            "'\n" + c.opener + "\n");
            std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
        }
        AlertRecorder desktop;
        desktop.openItem(item);
        EXPECT_EQ(desktop.openersRunning(), c.opener ? 1u : 0u) << "openItem waits for the opener";
        ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.openersRunning() == 0; }, 5000));
        if (c.opener) {
            EXPECT_EQ(readFile(out / "args"),
                      "file://" + out.path() + "/%E5%AD%A3%E5%BA%A6%20%E6%8A%A5%E5%91%8A%231.xyz\n");
        }
        if (c.detail.empty()) {
            EXPECT_TRUE(desktop.alerts.empty());
            continue;
        }
        ASSERT_EQ(desktop.alerts.size(), 1u);
        EXPECT_EQ(desktop.alerts[0].title, "无法打开「季度 报告#1.xyz」");
        EXPECT_EQ(desktop.alerts[0].detail, c.detail);
        EXPECT_EQ(desktop.alerts[0].buttons, std::vector<std::string>{"好"});
    }
}

}  // namespace
}  // namespace qf::test
