// The ditto program, run as the compress action runs it, and the helper
// that runs programs.
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "actions/archiver.h"
#include "actions/program_run.h"
#include "support.h"

namespace qf {
namespace {

using test::exists;
using test::namesIn;
using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(RunProgramAndWait, ReportsExitStatusSignalAndStartFailure) {
    const struct {
        std::string program;
        std::vector<std::string> args;
        bool started;
        int status;
    } cases[] = {
        {"/bin/sh", {"-c", "exit 0"}, true, 0},
        {"/bin/sh", {"-c", "exit 3"}, true, 3},
        {"/bin/sh", {"-c", "kill -TERM $$"}, true, SIGTERM},
        {"/bin/sh", {"-c", "test \"$1\" = 'a b'", "sh", "a b"}, true, 0},  // arguments are passed verbatim
        {"/nonexistent/ditto", {}, false, -1},
    };
    for (const auto& c : cases) {
        const ProgramResult r = runProgramAndWait(c.program, c.args);
        EXPECT_EQ(r.started, c.started) << c.program;
        if (c.started) {
            EXPECT_EQ(r.exitStatus, c.status) << c.args.back();
        } else {
            EXPECT_NE(r.error.find("/nonexistent/ditto"), std::string::npos) << r.error;
        }
    }
}

TEST(DittoExecutable, EnvironmentFirstElseBesideTheProgram) {
    {
        test::ScopedEnv env("QUILLFIND_DITTO", std::string("/opt/x/ditto"));
        EXPECT_EQ(dittoExecutable(), "/opt/x/ditto");
    }
    test::ScopedEnv env("QUILLFIND_DITTO", std::nullopt);
    EXPECT_EQ(dittoExecutable(), std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/ditto");
}

class DittoTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::dittoBuilt()) GTEST_SKIP() << "no ditto in QF_BIN_DIR";
    }
    ProgramResult zip(const std::string& source, const std::string& destination) {
        return runProgramAndWait(ditto_, dittoArguments(source, destination));
    }
    std::string ditto_ = test::binDir() + "/ditto";
    TempDir dir_;
};

// The folder is the top entry with its modes and links; Chinese names carry
// the UTF-8 mark, names that are not UTF-8 keep their bytes without it (so
// two of them stay two); unpacking gives back every item, link and content.
TEST_F(DittoTest, EveryItemIsStoredSoItUnpacksAsItWas) {
    const std::string top = dir_ / "照片集";
    ASSERT_EQ(mkdir(top.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((top + "/d\xe9j\xe0").c_str(), 0700), 0);  // Latin-1 bytes
    writeFile(top + "/d\xe9j\xe0/\xc3(.txt", "inner");
    writeFile(top + "/海边.jpg", "sea");
    writeFile(top + "/x\xff.txt", "ff");
    writeFile(top + "/x\xfe.sh", "#!/bin/sh\n");
    chmod((top + "/x\xfe.sh").c_str(), 0755);
    ASSERT_EQ(symlink("x\xff.txt", (top + "/link").c_str()), 0);
    test::ScopedEnv lang("LC_ALL", std::string("C"));  // even from a caller with the plain C locale
    ASSERT_EQ(zip(top, dir_ / "照片集.zip").exitStatus, 0);

    const auto entries = test::readZipDirectory(dir_ / "照片集.zip");
    ASSERT_EQ(entries.size(), 7u);
    EXPECT_TRUE(S_ISDIR(entries.at("照片集/").unixMode));
    EXPECT_EQ(entries.at("照片集/d\xe9j\xe0/").unixMode & 07777, 0700u);
    EXPECT_EQ(entries.at("照片集/x\xfe.sh").unixMode, static_cast<std::uint32_t>(S_IFREG | 0755));
    EXPECT_TRUE(S_ISLNK(entries.at("照片集/link").unixMode));
    const std::pair<std::string, bool> marks[] = {{"照片集/海边.jpg", true},
                                                  {"照片集/x\xff.txt", false},
                                                  {"照片集/x\xfe.sh", false},
                                                  {"照片集/d\xe9j\xe0/\xc3(.txt", false}};
    for (const auto& [name, utf8] : marks) EXPECT_EQ((entries.at(name).flags & 0x0800) != 0, utf8) << name;
    TempDir out;
    ASSERT_TRUE(test::unpackZip(dir_ / "照片集.zip", out.path()));
    EXPECT_EQ(test::treeUnder(out / "照片集"), test::treeUnder(top));
}

TEST_F(DittoTest, FailedRunLeavesNoArchive) {
    writeFile(dir_ / "a.txt", "a");
    ASSERT_EQ(mkfifo((dir_ / "pipe").c_str(), 0600), 0);  // nothing a zip could hold; reading it would hang
    const std::pair<std::string, std::string> cases[] = {
        {dir_ / "missing", dir_ / "missing.zip"},
        {dir_ / "a.txt", dir_ / "no-such-folder/a.zip"},
        {dir_ / "pipe", dir_ / "pipe.zip"},
    };
    for (const auto& [source, destination] : cases) {
        const auto run = zip(source, destination);
        ASSERT_TRUE(run.started);
        EXPECT_NE(run.exitStatus, 0) << source;
        EXPECT_EQ(namesIn(dir_.path()), (std::vector<std::string>{"a.txt", "pipe"})) << source;
    }
}

TEST_F(DittoTest, AcceptsOnlyTheExactCommandLine) {
    writeFile(dir_ / "a.txt", "a");
    const std::string src = dir_ / "a.txt", dst = dir_ / "a.zip";
    const std::vector<std::vector<std::string>> wrong{
        {"-c", "-k", "--sequesterRsrc", "--keepParent", src},
        {"-k", "-c", "--sequesterRsrc", "--keepParent", src, dst},
        {"-c", "-k", "--sequesterRsrc", "--keepParent", "", dst},
    };
    for (const auto& args : wrong) {
        EXPECT_EQ(runProgramAndWait(ditto_, args).exitStatus, 2) << args.size();
        EXPECT_FALSE(exists(dst));
    }
    EXPECT_EQ(runProgramAndWait(ditto_, dittoArguments(src, dst)).exitStatus, 0);
    EXPECT_TRUE(exists(dst));
}

}  // namespace
}  // namespace qf
