// The ditto program, run as the compress action runs it.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

#include "actions/archiver.h"
#include "actions/program_run.h"
#include "support.h"
#include "zip_reader.h"

namespace qf {
namespace {

using test::exists;
using test::readFile;
using test::TempDir;
using test::writeFile;
using test::ZipEntry;

constexpr std::uint16_t kUtf8NameFlag = 0x0800;

class DittoTest : public ::testing::Test {
protected:
    void SetUp() override {
        ditto_ = test::binDir() + "/ditto";
        if (test::binDir().empty() || access(ditto_.c_str(), X_OK) != 0) GTEST_SKIP() << "no ditto in QF_BIN_DIR";
    }
    ProgramResult zip(const std::string& source, const std::string& destination) {
        return runProgramAndWait(ditto_, dittoArguments(source, destination));
    }
    std::map<std::string, ZipEntry> entriesOf(const std::string& archive) {
        std::map<std::string, ZipEntry> byName;
        for (const auto& e : test::readZipDirectory(archive)) byName[e.name] = e;
        return byName;
    }
    std::vector<std::string> namesIn(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string ditto_;
    TempDir dir_;
};

TEST(ZipReader, Crc32CheckValue) { EXPECT_EQ(test::crc32Of("123456789"), 0xCBF43926u); }

TEST(DittoArguments, ExactlySixInOrder) {
    EXPECT_EQ(dittoArguments("/a/b c", "/a/b c.zip"),
              (std::vector<std::string>{"-c", "-k", "--sequesterRsrc", "--keepParent", "/a/b c", "/a/b c.zip"}));
}

TEST(DittoExecutable, EnvironmentFirstElseBesideTheProgram) {
    {
        test::ScopedEnv env("QUILLFIND_DITTO", std::string("/opt/x/ditto"));
        EXPECT_EQ(dittoExecutable(), "/opt/x/ditto");
    }
    test::ScopedEnv env("QUILLFIND_DITTO", std::nullopt);
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    EXPECT_EQ(dittoExecutable(), std::filesystem::path(self).parent_path().string() + "/ditto");
}

TEST_F(DittoTest, FileIsTheOnlyEntryUnderItsOwnName) {
    const std::string content(100000, 'r');
    writeFile(dir_ / "report.pdf", content);
    const auto run = zip(dir_ / "report.pdf", dir_ / "report.zip");
    ASSERT_TRUE(run.started) << run.error;
    ASSERT_EQ(run.exitStatus, 0);
    const auto entries = test::readZipDirectory(dir_ / "report.zip");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "report.pdf");
    EXPECT_EQ(entries[0].size, content.size());
    EXPECT_EQ(entries[0].crc, test::crc32Of(content));
    EXPECT_EQ(namesIn(dir_.path()), (std::vector<std::string>{"report.pdf", "report.zip"}));
}

TEST_F(DittoTest, FolderIsTheTopEntryWithItsTreeAndLinks) {
    const std::string top = dir_ / "Photos";
    ASSERT_EQ(mkdir(top.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((top + "/sub").c_str(), 0700), 0);
    writeFile(top + "/a.jpg", "jpeg bytes");
    writeFile(top + "/sub/run.sh", "#!/bin/sh\n");
    chmod((top + "/sub/run.sh").c_str(), 0755);
    ASSERT_EQ(symlink("../a.jpg", (top + "/sub/latest").c_str()), 0);
    const auto run = zip(top, dir_ / "Photos.zip");
    ASSERT_EQ(run.exitStatus, 0) << run.error;

    const auto entries = entriesOf(dir_ / "Photos.zip");
    std::vector<std::string> names;
    for (const auto& [name, e] : entries) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"Photos/", "Photos/a.jpg", "Photos/sub/", "Photos/sub/latest",
                                               "Photos/sub/run.sh"}));
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_TRUE(S_ISDIR(entries.at("Photos/").unixMode));
    EXPECT_EQ(entries.at("Photos/sub/").unixMode & 07777, 0700u);
    EXPECT_EQ(entries.at("Photos/a.jpg").crc, test::crc32Of("jpeg bytes"));
    EXPECT_EQ(entries.at("Photos/sub/run.sh").unixMode, static_cast<std::uint32_t>(S_IFREG | 0755));
    const ZipEntry& link = entries.at("Photos/sub/latest");
    EXPECT_TRUE(S_ISLNK(link.unixMode)) << std::oct << link.unixMode;
    EXPECT_EQ(link.crc, test::crc32Of("../a.jpg")) << "a link is stored as its target text";
}

TEST_F(DittoTest, NonAsciiNamesAreMarkedUtf8) {
    ASSERT_EQ(mkdir((dir_ / "照片集").c_str(), 0755), 0);
    writeFile(dir_ / "照片集/海边.jpg", "x");
    // Even from a caller with the plain C locale.
    test::ScopedEnv lang("LC_ALL", std::string("C"));
    ASSERT_EQ(zip(dir_ / "照片集", dir_ / "照片集.zip").exitStatus, 0);
    const auto entries = entriesOf(dir_ / "照片集.zip");
    ASSERT_TRUE(entries.count("照片集/海边.jpg"));
    EXPECT_TRUE(entries.at("照片集/海边.jpg").flags & kUtf8NameFlag);
}

TEST_F(DittoTest, NeverReplacesAnExistingDestination) {
    writeFile(dir_ / "notes.txt", "notes");
    writeFile(dir_ / "notes.zip", "precious");
    const auto run = zip(dir_ / "notes.txt", dir_ / "notes.zip");
    ASSERT_TRUE(run.started);
    EXPECT_NE(run.exitStatus, 0);
    EXPECT_EQ(readFile(dir_ / "notes.zip"), "precious");
    EXPECT_EQ(namesIn(dir_.path()), (std::vector<std::string>{"notes.txt", "notes.zip"}));
}

TEST_F(DittoTest, FailedRunLeavesNoArchive) {
    writeFile(dir_ / "a.txt", "a");
    const std::pair<std::string, std::string> cases[] = {
        {dir_ / "missing", dir_ / "missing.zip"},
        {dir_ / "a.txt", dir_ / "no-such-folder/a.zip"},
    };
    for (const auto& [source, destination] : cases) {
        const auto run = zip(source, destination);
        ASSERT_TRUE(run.started);
        EXPECT_NE(run.exitStatus, 0) << source;
        EXPECT_EQ(namesIn(dir_.path()), std::vector<std::string>{"a.txt"}) << source;
    }
}

TEST_F(DittoTest, AcceptsOnlyTheExactCommandLine) {
    writeFile(dir_ / "a.txt", "a");
    const std::string src = dir_ / "a.txt", dst = dir_ / "a.zip";
    const std::vector<std::vector<std::string>> wrong{
        {},
        {"-c", "-k", "--sequesterRsrc", "--keepParent", src},
        {"-c", "-k", "--sequesterRsrc", "--keepParent", src, dst, "extra"},
        {"-k", "-c", "--sequesterRsrc", "--keepParent", src, dst},
        {"-c", "-k", "--keepParent", "--sequesterRsrc", src, dst},
        {"-x", "-k", "--sequesterRsrc", "--keepParent", src, dst},
        {"-c", "-k", "--sequesterRsrc", "--keepParent", "", dst},
    };
    for (const auto& args : wrong) {
        const auto run = runProgramAndWait(ditto_, args);
        EXPECT_EQ(run.exitStatus, 2) << args.size();
        EXPECT_FALSE(exists(dst));
    }
    EXPECT_EQ(runProgramAndWait(ditto_, dittoArguments(src, dst)).exitStatus, 0);
    EXPECT_TRUE(exists(dst));
}

}  // namespace
}  // namespace qf
