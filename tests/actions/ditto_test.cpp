// Compress: the action, the ditto program it runs, and the helper that runs
// programs. The archives are read back without the library that wrote them.
#include <archive.h>
#include <archive_entry.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "actions/archiver.h"
#include "actions/program_run.h"
#include "support.h"

namespace qf::test {
namespace {

std::uint32_t le(std::string_view s, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
    return v;
}

// The central directory's records by name: general-purpose flags and Unix
// mode. The test contents hold no record signature of their own.
std::map<std::string, std::pair<std::uint32_t, std::uint32_t>> zipRecords(const std::string& zip) {
    std::map<std::string, std::pair<std::uint32_t, std::uint32_t>> records;
    for (auto at = zip.find("PK\1\2"); at != std::string::npos && at + 46 <= zip.size();
         at = zip.find("PK\1\2", at + 1))
        records[zip.substr(at + 46, le(zip, at + 28, 2))] = {le(zip, at + 8, 2), le(zip, at + 38, 4) >> 16};
    return records;
}

// Unpacks with libarchive's reader, names taken as stored; false on any
// error or warning.
bool unpackZip(const std::string& zip, const std::string& folder) {
    // Names marked UTF-8 are converted to the thread's character set: make
    // that UTF-8 too, so that no name is altered on the way.
    const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    const locale_t before = uselocale(utf8);
    archive* in = archive_read_new();
    archive* out = archive_write_disk_new();
    archive_read_support_format_zip(in);
    archive_write_disk_set_options(out, ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_SYMLINKS);
    bool ok = archive_read_open_filename(in, zip.c_str(), 1 << 16) == ARCHIVE_OK;
    archive_entry* entry = nullptr;
    int rc = ARCHIVE_OK;
    while (ok && (rc = archive_read_next_header(in, &entry)) == ARCHIVE_OK) {
        archive_entry_copy_pathname(entry, (folder + "/" + archive_entry_pathname(entry)).c_str());
        ok = archive_read_extract2(in, entry, out) == ARCHIVE_OK;
    }
    ok = ok && rc == ARCHIVE_EOF;
    archive_read_free(in);
    archive_write_free(out);
    uselocale(before);
    if (utf8) freelocale(utf8);
    return ok;
}

TEST(RunProgramAndWait, ReportsExitStatusOrSignal) {
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{"-c", "exit 3"}, 3},
        {{"-c", "kill -TERM $$"}, SIGTERM},
        {{"-c", "test \"$1\" = 'a b'", "sh", "a b"}, 0},  // arguments are passed verbatim
    };
    for (const auto& [args, status] : cases) {
        const auto r = runProgramAndWait("/bin/sh", args);
        ASSERT_TRUE(r) << r.error().message();
        EXPECT_EQ(*r, status) << args.back();
    }
}

// The folder is the top entry with its modes and links; Chinese names carry
// the UTF-8 mark, names that are not UTF-8 keep their bytes without it (so
// two of them stay two); unpacking gives back every item, link and content.
TEST(Ditto, EveryItemIsStoredSoItUnpacksAsItWas) {
    TempDir dir;
    const std::string top = dir / "照片集";
    ASSERT_EQ(mkdir(top.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((top + "/d\xe9j\xe0").c_str(), 0700), 0);  // Latin-1 bytes
    writeFile(top + "/d\xe9j\xe0/\xc3(.txt", "inner");
    writeFile(top + "/海边.jpg", "sea");
    writeFile(top + "/x\xff.txt", "ff");
    writeFile(top + "/x\xfe.sh", "#!/bin/sh\n");
    chmod((top + "/x\xfe.sh").c_str(), 0755);
    ASSERT_EQ(symlink("x\xff.txt", (top + "/link").c_str()), 0);
    ScopedEnv lang("LC_ALL", std::string("C"));  // even from a caller with the plain C locale
    ASSERT_EQ(runProgramAndWait(binDir() + "/ditto", dittoArguments(top, dir / "照片集.zip")).valueOr(-1), 0);

    const auto entries = zipRecords(readFile(dir / "照片集.zip"));
    ASSERT_EQ(entries.size(), 7u);
    EXPECT_TRUE(S_ISDIR(entries.at("照片集/").second));
    EXPECT_EQ(entries.at("照片集/d\xe9j\xe0/").second & 07777, 0700u);
    EXPECT_EQ(entries.at("照片集/x\xfe.sh").second, static_cast<std::uint32_t>(S_IFREG | 0755));
    EXPECT_TRUE(S_ISLNK(entries.at("照片集/link").second));
    const std::pair<std::string, bool> marks[] = {{"照片集/海边.jpg", true},
                                                  {"照片集/x\xff.txt", false},
                                                  {"照片集/x\xfe.sh", false},
                                                  {"照片集/d\xe9j\xe0/\xc3(.txt", false}};
    for (const auto& [name, utf8] : marks) EXPECT_EQ((entries.at(name).first & 0x0800) != 0, utf8) << name;
    TempDir out;
    ASSERT_TRUE(unpackZip(dir / "照片集.zip", out.path()));
    EXPECT_EQ(treeUnder(out / "照片集"), treeUnder(top));
}

// Any command line but the exact one is a usage error (2); an item a zip
// cannot hold or a destination that cannot be written fails. Neither leaves
// an archive.
TEST(Ditto, FailedRunsLeaveNoArchive) {
    TempDir dir;
    writeFile(dir / "a.txt", "a");
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);  // reading it would hang
    const std::string a = dir / "a.txt", zip = dir / "a.zip";
    const std::pair<std::vector<std::string>, bool> cases[] = {
        {{"-c", "-k", "--sequesterRsrc", "--keepParent", a}, true},
        {{"-k", "-c", "--sequesterRsrc", "--keepParent", a, zip}, true},
        {{"-c", "-k", "--sequesterRsrc", "--keepParent", "", zip}, true},
        {dittoArguments(dir / "missing", zip), false},
        {dittoArguments(a, dir / "no-such-folder/a.zip"), false},
        {dittoArguments(a, a), false},  // a taken name is never replaced
        {dittoArguments(dir / "pipe", zip), false},
    };
    for (const auto& [args, usage] : cases) {
        const auto status = runProgramAndWait(binDir() + "/ditto", args);
        ASSERT_TRUE(status) << status.error().message();
        EXPECT_TRUE(usage ? *status == 2 : *status != 0) << args[4] << ": " << *status;
        EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"a.txt", "pipe"})) << args[4];
    }
    EXPECT_EQ(readFile(a), "a");
}

// The archiver's status, or why it could not start, is shown; ditto is
// $QUILLFIND_DITTO, else the one beside the program.
TEST_F(ActionsTest, CompressReportsTheArchiversStatusOrStartFailure) {
    writeFile(dir_ / "a.txt", "a");
    desktop_.programAnswer = 1;
    actions_.compress(hit(dir_ / "a.txt"));
    expectOnlyFailure("压缩失败", "ditto 退出码 1");
    desktop_.programAnswer.reset();
    desktop_.alerts.clear();
    ScopedEnv missing("QUILLFIND_DITTO", dir_ / "no-ditto");
    actions_.compress(hit(dir_ / "a.txt"));
    ASSERT_EQ(desktop_.alerts.size(), 1u);
    EXPECT_EQ(desktop_.alerts[0].title, "压缩失败");
    EXPECT_NE(desktop_.alerts[0].detail.find(dir_ / "no-ditto"), std::string::npos) << desktop_.alerts[0].detail;
    EXPECT_FALSE(refreshed());
    ScopedEnv unset("QUILLFIND_DITTO", std::nullopt);
    actions_.compress(hit(dir_ / "a.txt"));
    const auto self = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(desktop_.programs.back().front(), self.parent_path() / "ditto");
    EXPECT_TRUE(exists(dir_ / "a.zip"));
}

// The archive goes beside the item under the first free name; a dangling
// link takes its name too.
TEST_F(ActionsTest, CompressRunsDittoWithSixArgumentsOnAFreeName) {
    writeFile(dir_ / "report.pdf", "pdf");
    ASSERT_EQ(symlink("/nonexistent", (dir_ / "report.zip").c_str()), 0);
    ASSERT_EQ(mkdir((dir_ / "My.app").c_str(), 0755), 0);
    writeFile(dir_ / "My.app/Info.plist", "p");
    actions_.compress(hit(dir_ / "report.pdf"));
    ASSERT_EQ(desktop_.programs.size(), 1u);
    EXPECT_EQ(desktop_.programs[0],
              (std::vector<std::string>{binDir() + "/ditto", "-c", "-k", "--sequesterRsrc", "--keepParent",
                                        dir_ / "report.pdf", dir_ / "report1.zip"}));
    EXPECT_TRUE(refreshed());
    actions_.compress(hit(dir_ / "My.app"));
    EXPECT_EQ(namesIn(dir_.path()),
              (std::vector<std::string>{"My.app", "My.zip", "report.pdf", "report.zip", "report1.zip"}));
    EXPECT_EQ(std::filesystem::read_symlink(dir_ / "report.zip"), "/nonexistent");
    EXPECT_TRUE(desktop_.alerts.empty());
}

}  // namespace
}  // namespace qf::test
