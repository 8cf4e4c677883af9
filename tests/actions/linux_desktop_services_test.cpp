// The real desktop services on the offscreen platform: clipboard formats,
// dialogs with their buttons, terminals and their options, the file-manager
// fallback.
#include "actions/linux_desktop_services.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>
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

namespace qf {
namespace {

using test::exists;
using test::readFile;
using test::ScopedEnv;
using test::TempDir;
using test::writeFile;

// Runs `inspect` on the modal dialog once its event loop is running.
void whenModal(std::function<void(QWidget*)> inspect) {
    QTimer::singleShot(0, [inspect] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w) {
            ADD_FAILURE() << "no modal dialog";
            return;
        }
        inspect(w);
    });
}

QPushButton* buttonNamed(QWidget* dialog, const QString& text) {
    for (auto* b : dialog->findChildren<QPushButton*>()) {
        if (b->text() == text) return b;
    }
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

TEST(LinuxAlert, ButtonsInOrderAndTheAnswerOfEach) {
    struct Case {
        std::vector<std::string> buttons;
        QString press;  // empty: Escape
        int answer;
    };
    const Case cases[] = {
        {{"确定", "取消"}, "取消", kFirstButton + 1},
        {{"确定", "取消"}, "", kFirstButton + 1},
        {{"复制", "关闭"}, "复制", kFirstButton},
        {{"好"}, "好", kFirstButton},
    };
    LinuxDesktopServices desktop;
    for (const Case& c : cases) {
        whenModal([&c](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_TRUE(box);
            EXPECT_EQ(box->text(), "移到废纸篓？");
            EXPECT_EQ(box->informativeText(), "「a.txt」将移到废纸篓。");
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
        EXPECT_EQ(desktop.runAlert({"移到废纸篓？", "「a.txt」将移到废纸篓。", c.buttons, AlertStyle::warning}),
                  c.answer)
            << c.press.toStdString();
    }
}

TEST(LinuxAlert, TitleAndShortDetailEachOnOneLine) {
    whenModal([](QWidget* w) {
        for (QLabel* label : w->findChildren<QLabel*>()) {
            if (label->text().isEmpty()) continue;
            const QFontMetrics metrics(label->font());
            EXPECT_GE(label->width(), metrics.horizontalAdvance(label->text())) << label->text().toStdString();
            // Wrapped, it would be taller than with all the room it wants.
            EXPECT_EQ(label->heightForWidth(label->width()), label->heightForWidth(4000))
                << label->text().toStdString();
        }
        QTest::keyClick(w, Qt::Key_Escape);
    });
    LinuxDesktopServices().runAlert({"无法将项目移到所选文件夹",
                                     "「季度报告 Q3.docx」无法移到「项目报告」，因为该处已有同名项目。",
                                     {"好"},
                                     AlertStyle::warning});
}

TEST(LinuxTextPrompt, FocusedFieldOfThreeHundredByTwentyFour) {
    LinuxDesktopServices desktop;
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
        const TextPromptResult r = desktop.runTextPrompt({"重命名", "/x/a.txt", "a.txt", {"确定", "取消"}});
        EXPECT_EQ(r.response, confirm ? kFirstButton : kFirstButton + 1);
        EXPECT_EQ(r.text, "b.txt");
    }
}

TEST(LinuxFolderChooser, ConfirmTextMessageAndChoice) {
    TempDir dir;
    LinuxDesktopServices desktop;
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
        const auto chosen = desktop.chooseFolder({"移动到此处", "选择目标文件夹（效果同剪切到此）"});
        if (accept) {
            ASSERT_TRUE(chosen);
            EXPECT_EQ(std::filesystem::canonical(*chosen), std::filesystem::canonical(dir.path()));
        } else {
            EXPECT_FALSE(chosen);
        }
    }
}

// Stands in for the desktop's URL handler.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

TEST(LinuxFileManager, WithoutFileManagerRevealOpensTheFolderAndInfoFails) {
    ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", std::string("unix:path=/nonexistent/bus"));
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler("file", &recorder, "open");
    LinuxDesktopServices desktop;
    desktop.revealItem("/tmp/some folder/a.txt");
    EXPECT_EQ(recorder.opened, QList<QUrl>{QUrl::fromLocalFile("/tmp/some folder")});
    const ServiceResult info = desktop.showItemProperties("/tmp/some folder/a.txt");
    EXPECT_FALSE(info.ok);
    EXPECT_FALSE(info.error.empty());
    QDesktopServices::unsetUrlHandler("file");
}

using Args = std::vector<std::string>;

// One case per option style; every other terminal looked for must have a
// style too, or it would open in the wrong folder.
TEST(TerminalArguments, EachTerminalGetsTheFolderAsItsOwnArgument) {
    const std::string folder = "/tmp/a b'$(rm -rf x)";
    const std::pair<const char*, Args> cases[] = {
        {"gnome-terminal", {"--working-directory=" + folder}},
        {"alacritty", {"--working-directory", folder}},
        {"wezterm", {"start", "--cwd", folder}},
        {"xterm", {}},
        {"some-unknown-terminal", {}},
    };
    for (const auto& [program, args] : cases) EXPECT_EQ(terminalArguments(program, folder), args) << program;
    EXPECT_EQ(terminalCandidates("foot").front(), "foot");
    EXPECT_EQ(terminalCandidates(""), terminalCandidates(nullptr));
    for (const auto& name : terminalCandidates(nullptr)) {
        if (name == "x-terminal-emulator" || name == "xterm") continue;
        EXPECT_FALSE(terminalArguments(name, "/f").empty()) << name;
    }
}

class LinuxTerminal : public ::testing::Test {
protected:
    // A fake terminal that writes its working folder and arguments.
    void makeTerminal(const std::string& name) {
        const std::string script = bin_ / name;
        writeFile(script, "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"$a\"; done; } > '" + (out_ / "tmp") +
                              "' && /bin/mv '" + (out_ / "tmp") + "' '" + (out_ / "log") + "'\n");
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    }
    std::string waitForLog() {
        (void)QTest::qWaitFor([this] { return exists(out_ / "log"); }, 5000);
        return readFile(out_ / "log");
    }
    TempDir bin_, out_, folder_;
    ScopedEnv path_{"PATH", bin_.path()};
};

// A known terminal gets its folder option; $TERMINAL comes first and is
// known by what its link resolves to; with none at all the reason names
// what was looked for.
TEST_F(LinuxTerminal, PicksTheTerminalAndItsFolderOption) {
    const std::string folder = folder_.path();
    const struct {
        std::vector<std::string> installed;
        std::optional<std::string> variable;
        std::string log;  // empty: no terminal starts
    } cases[] = {
        {{"konsole"}, std::nullopt, folder + "\n--workdir\n" + folder + "\n"},
        {{"my-term", "xterm", "kitty->my-term"}, "kitty", folder + "\n"},
        {{}, std::nullopt, ""},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(bin_.path());
        std::filesystem::create_directory(bin_.path());
        for (const std::string& name : c.installed) {
            const auto arrow = name.find("->");
            if (arrow == std::string::npos)
                makeTerminal(name);
            else
                std::filesystem::create_symlink(bin_ / name.substr(arrow + 2), bin_ / name.substr(0, arrow));
        }
        ScopedEnv terminal("TERMINAL", c.variable ? std::optional(bin_ / *c.variable) : std::nullopt);
        const ServiceResult r = LinuxDesktopServices().openTerminal(folder);
        EXPECT_EQ(r.ok, !c.log.empty()) << c.log;
        if (r.ok) {
            EXPECT_EQ(waitForLog(), c.log);
            std::filesystem::remove(out_ / "log");
        } else {
            EXPECT_NE(r.error.find("x-terminal-emulator"), std::string::npos) << r.error;
        }
    }
}

}  // namespace
}  // namespace qf

#include "linux_desktop_services_test.moc"
