// The programs the actions start: ditto, which compress runs (its archives
// are unpacked and compared with what they hold), and a terminal.
#include <archive.h>
#include <archive_entry.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>
#include <filesystem>

#include "actions/archiver.h"
#include "actions/linux_desktop_services.h"
#include "actions/program_run.h"
#include "actions/terminal_command.h"
#include "support.h"

namespace qf::test {
namespace {

// Unpacks with libarchive's reader, names taken as stored; false on any
// error or warning.
bool unpackZip(const std::string& zip, const std::string& folder) {
    // Names marked UTF-8 are converted to the thread's character set: make
    // that UTF-8 too, so that no name is altered on the way.
    const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    const locale_t before = uselocale(utf8);
    archive* in = archive_read_new();
    archive_read_support_format_zip(in);
    bool ok = archive_read_open_filename(in, zip.c_str(), 1 << 16) == ARCHIVE_OK;
    int rc = ARCHIVE_OK;
    for (archive_entry* entry = nullptr; ok && (rc = archive_read_next_header(in, &entry)) == ARCHIVE_OK;) {
        archive_entry_copy_pathname(entry, (folder + "/" + archive_entry_pathname(entry)).c_str());
        const int flags = ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_SYMLINKS;
        ok = archive_read_extract(in, entry, flags) == ARCHIVE_OK;
    }
    ok = ok && rc == ARCHIVE_EOF;
    archive_read_free(in);
    uselocale(before);
    if (utf8) freelocale(utf8);
    return ok;
}

// The folder is the top entry; unpacking gives back every item, link,
// content and mode, names that are not UTF-8 with their bytes (so two of
// them stay two). Any command line but the exact one is a usage error (2);
// an item a zip cannot hold or a destination that cannot be written fails,
// leaving no archive.
TEST(Ditto, StoresEveryItemSoItUnpacksAsItWasOrLeavesNoArchive) {
    TempDir dir, out;
    const std::string top = dir / "照片集", zip = dir / "照片集.zip";
    ASSERT_EQ(mkdir(top.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((top + "/d\xe9j\xe0").c_str(), 0700), 0);  // Latin-1 bytes
    writeFile(top + "/d\xe9j\xe0/\xc3(.txt", "inner");
    writeFile(top + "/海边.jpg", "sea");
    writeFile(top + "/x\xff.txt", "ff");
    writeFile(top + "/x\xfe.sh", "#!/bin/sh\n");
    chmod((top + "/x\xfe.sh").c_str(), 0755);
    ASSERT_EQ(symlink("x\xff.txt", (top + "/link").c_str()), 0);
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);  // reading it would hang
    writeFile(dir / "taken", "t");
    ScopedEnv lang("LC_ALL", std::string("C"));  // even from a caller with the plain C locale
    const std::pair<std::vector<std::string>, bool> failures[] = {
        {{"-c", "-k", "--sequesterRsrc", "--keepParent", top}, true},
        {{"-c", "-k", "--sequesterRsrc", "--keepParent", "", zip}, true},
        {dittoArguments(dir / "missing", zip), false},
        {dittoArguments(top, dir / "no-such-folder/a.zip"), false},
        {dittoArguments(top, dir / "taken"), false},  // a taken name is never replaced
        {dittoArguments(dir / "pipe", zip), false},
    };
    for (const auto& [args, usage] : failures) {
        const auto status = runProgramAndWait(binDir() + "/ditto", args);
        ASSERT_TRUE(status) << status.error().message();
        EXPECT_TRUE(usage ? *status == 2 : *status != 0) << args[4] << ": " << *status;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3) << args[4];
    }
    EXPECT_EQ(readFile(dir / "taken"), "t");
    ASSERT_EQ(runProgramAndWait(binDir() + "/ditto", dittoArguments(top, zip)).valueOr(-1), 0);
    ASSERT_TRUE(unpackZip(zip, out.path()));
    EXPECT_EQ(treeUnder(out / "照片集"), treeUnder(top));
    EXPECT_EQ(std::filesystem::status(out / "照片集/d\xe9j\xe0").permissions(), std::filesystem::perms(0700));
    EXPECT_EQ(std::filesystem::status(out / "照片集/x\xfe.sh").permissions(), std::filesystem::perms(0755));
}

// The archive goes beside the item under the first free name (a dangling
// link takes its name too); ditto is $QUILLFIND_DITTO, else the one beside
// the program. Its status, or why it could not start, is shown.
TEST_F(ActionsTest, CompressRunsDittoOnAFreeNameOrShowsWhyNot) {
    writeFile(dir_ / "report.pdf", "pdf");
    ASSERT_EQ(symlink("/nonexistent", (dir_ / "report.zip").c_str()), 0);
    ASSERT_EQ(mkdir((dir_ / "My.app").c_str(), 0755), 0);
    actions_.compress(hitForPath(dir_ / "report.pdf"));
    EXPECT_EQ(desktop_.programs.back(),
              (std::vector<std::string>{binDir() + "/ditto", "-c", "-k", "--sequesterRsrc", "--keepParent",
                                        dir_ / "report.pdf", dir_ / "report1.zip"}));
    EXPECT_TRUE(refreshed());
    ScopedEnv unset("QUILLFIND_DITTO", std::nullopt);
    actions_.compress(hitForPath(dir_ / "My.app"));
    EXPECT_EQ(desktop_.programs.back().front(),
              std::filesystem::read_symlink("/proc/self/exe").parent_path() / "ditto");
    EXPECT_TRUE(exists(dir_ / "My.zip"));
    EXPECT_TRUE(desktop_.alerts.empty());
    restart();
    desktop_.programAnswer = 1;
    actions_.compress(hitForPath(dir_ / "report.pdf"));
    expectOnlyFailure("压缩失败", "ditto 退出码 1");
    desktop_.programAnswer.reset();
    desktop_.alerts.clear();
    ScopedEnv missing("QUILLFIND_DITTO", dir_ / "no-ditto");
    actions_.compress(hitForPath(dir_ / "report.pdf"));
    expectOnlyFailure("压缩失败", dir_ / "no-ditto: " + errorText(std::errc::no_such_file_or_directory));
    EXPECT_FALSE(refreshed());
}

// A terminal gets its folder option in its own style (xterm none) and the
// folder as one argument; $TERMINAL comes first and is known by what its
// link resolves to; with none at all the reason names what was looked for.
TEST(LinuxTerminal, PicksTheTerminalAndItsFolderOption) {
    TempDir bin, out, parent;
    const std::string folder = parent / "a b'$(rm -rf x)";
    std::filesystem::create_directory(folder);
    ScopedEnv path("PATH", bin.path());
    // The programs installed ("a->b": a link to b), $TERMINAL, and what the
    // terminal that starts writes: its working folder and arguments.
    const std::tuple<std::vector<std::string>, std::optional<std::string>, std::string> cases[] = {
        {{"konsole"}, std::nullopt, folder + "\n--workdir\n" + folder + "\n"},
        {{"gnome-terminal"}, std::nullopt, folder + "\n--working-directory=" + folder + "\n"},
        {{"wezterm"}, std::nullopt, folder + "\nstart\n--cwd\n" + folder + "\n"},
        {{"my-term", "konsole", "x-terminal-emulator->konsole", "kitty->my-term"}, bin / "kitty", folder + "\n"},
        {{}, std::nullopt, ""},
    };
    for (const auto& [installed, variable, log] : cases) {
        std::filesystem::remove_all(bin.path());
        std::filesystem::create_directory(bin.path());
        for (const std::string& name : installed) {
            if (const auto arrow = name.find("->"); arrow != std::string::npos) {
                std::filesystem::create_symlink(bin / name.substr(arrow + 2), bin / name.substr(0, arrow));
                continue;
            }
            writeFile(bin / name, "#!/bin/sh\n{ pwd; for a; do echo \"$a\"; done; } > '" + (out / "tmp") +
                                      "' && /bin/mv '" + (out / "tmp") + "' '" + (out / "log") + "'\n");
            std::filesystem::permissions(bin / name, std::filesystem::perms::owner_all);
        }
        ScopedEnv terminal("TERMINAL", variable);
        const auto r = LinuxDesktopServices().openTerminal(folder);
        EXPECT_EQ(bool(r), !log.empty()) << log;
        if (r) {
            (void)QTest::qWaitFor([&out] { return exists(out / "log"); }, 5000);
            EXPECT_EQ(readFile(out / "log"), log);
            std::filesystem::remove(out / "log");
        } else {
            EXPECT_NE(r.error().message().find("x-terminal-emulator"), std::string::npos) << r.error().message();
        }
    }
    // Every other terminal looked for has a style too, or it would open in
    // the wrong folder.
    EXPECT_EQ(terminalCandidates(""), terminalCandidates(nullptr));  // an empty $TERMINAL is none
    for (const auto& name : terminalCandidates(nullptr))
        EXPECT_EQ(terminalArguments(name, "/f").empty(), name == "x-terminal-emulator" || name == "xterm") << name;
}

// What a file manager pastes: the file as a URI list and as GNOME's copy
// list, its path as text; a copied name replaces them all.
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

// xdg-open ends without a word when nothing opens an item: the user is told,
// once it has ended, unless it was stopped on purpose.
TEST(LinuxOpen, TellsTheUserWhenNothingOpensTheItem) {
    struct AlertRecorder : LinuxDesktopServices {
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
        ASSERT_EQ(desktop.alerts.size(), c.detail.empty() ? 0u : 1u);
        if (c.detail.empty()) continue;
        EXPECT_EQ(desktop.alerts[0].title, "无法打开「季度 报告#1.xyz」");
        EXPECT_EQ(desktop.alerts[0].detail, c.detail);
        EXPECT_EQ(desktop.alerts[0].buttons, std::vector<std::string>{"好"});
    }
}

}  // namespace
}  // namespace qf::test
