#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>

#include "core/core_test_support.h"
#include "core/hit.h"

namespace qf {
namespace {

double nowSeconds() {
    return static_cast<double>(std::time(nullptr));
}

TEST(FileFacts, LstatInfoOfEachKindOfPath) {
    test::TempDir dir;
    const std::string folder = dir.file("Notes.app");
    const std::string empty = dir.file("empty.txt");
    const std::string data = dir.file("data.bin");
    const std::string link = dir.file("link.pdf");
    std::filesystem::create_directory(folder);
    test::writeFile(empty, "");
    test::writeFile(data, "12345");
    std::filesystem::create_directory_symlink(folder, link);

    const StatInfo d = lstatInfo(folder);
    EXPECT_TRUE(d.isDir);
    EXPECT_EQ(d.size, -1);
    ASSERT_TRUE(d.mtime);
    EXPECT_NEAR(*d.mtime, nowSeconds(), 60);

    EXPECT_EQ(lstatInfo(empty).size, 0);
    EXPECT_FALSE(lstatInfo(empty).isDir);
    EXPECT_EQ(lstatInfo(data).size, 5);

    // The link itself: not a directory, its size is the length of its target text.
    const StatInfo l = lstatInfo(link);
    EXPECT_FALSE(l.isDir);
    EXPECT_EQ(l.size, static_cast<std::int64_t>(folder.size()));
    EXPECT_TRUE(l.mtime);

    const StatInfo missing = lstatInfo(dir.file("gone"));
    EXPECT_FALSE(missing.isDir);
    EXPECT_EQ(missing.size, -1);
    EXPECT_FALSE(missing.mtime);
    EXPECT_FALSE(missing.btime);
    EXPECT_EQ(lstatInfo(std::string("/tmp\0x", 6)).size, -1);
}

TEST(FileFacts, DatesCarrySubSecondPrecision) {
    test::TempDir dir;
    const std::string file = dir.file("f");
    test::writeFile(file, "x");
    const struct timespec times[2] = {{1700000000, 250000000}, {1700000000, 250000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    const StatInfo info = lstatInfo(file);
    ASSERT_TRUE(info.mtime);
    EXPECT_DOUBLE_EQ(*info.mtime, 1700000000.25);
    // Birth time only where the file system records it; then it is recent.
    if (info.btime) {
        EXPECT_NEAR(*info.btime, nowSeconds(), 60);
    }
}

TEST(FileFacts, KindTexts) {
    const struct {
        const char* path;
        bool isDir;
        const char* kind;
    } cases[] = {
        {"Notes.app", true, "文件夹"},
        {"/x/folder", true, "文件夹"},
        {"README", false, "文件"},
        {"trailing.", false, "文件"},
        {".profile", false, "文件"},
        {"report.zzq", false, "ZZQ"},
        {"/a/b/Report.PDF", false, "PDF 文档"},  // the user's language (zh_CN in these tests)
        {"report.pdf", false, "PDF 文档"},
        {"notes.txt", false, "纯文本文档"},
        {"archive.tar.gz", false, "Gzip 归档文件"},  // only the last extension counts
        {"x.straße", false, "STRASSE"},
    };
    for (const auto& c : cases) EXPECT_EQ(kindOf(c.path, c.isDir), c.kind) << c.path;
}

TEST(FileFacts, PathComponents) {
    const struct {
        const char* path;
        const char* last;
        const char* folder;
    } cases[] = {
        {"/Users/x/report.pdf", "report.pdf", "/Users/x"},
        {"/Users/x/docs/", "docs", "/Users/x"},
        {"/report", "report", "/"},
        {"/", "/", "/"},
        {"/a//b", "b", "/a"},
        {"/报告/文件.txt", "文件.txt", "/报告"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lastPathComponent(c.path), c.last) << c.path;
        EXPECT_EQ(containingFolder(c.path), c.folder) << c.path;
    }
}

TEST(FileFacts, HitForPathCombinesTheFacts) {
    test::TempDir dir;
    const std::string path = dir.file("a b#1.pdf");
    test::writeFile(path, "%PDF");
    const Hit hit = hitForPath(path);
    EXPECT_EQ(hit.path(), path);
    EXPECT_EQ(hit.id(), path);
    EXPECT_EQ(hit.name(), "a b#1.pdf");
    EXPECT_FALSE(hit.isDir());
    EXPECT_EQ(hit.size(), 4);
    EXPECT_TRUE(hit.modified());
    EXPECT_EQ(hit.kind(), "PDF 文档");
    EXPECT_EQ(hit.url(), "file://" + dir.path() + "/a%20b%231.pdf");

    const Hit gone = hitForPath("/nonexistent/quillfind/old.zzq");
    EXPECT_EQ(gone.size(), -1);
    EXPECT_FALSE(gone.modified());
    EXPECT_FALSE(gone.created());
    EXPECT_EQ(gone.kind(), "ZZQ");
}

TEST(FileFacts, UrlPercentEncodesWhatAPathMayHold) {
    const Hit hit("/tmp/报 100%?.txt", "报 100%?.txt", false, 1, std::nullopt, std::nullopt, "x");
    EXPECT_EQ(hit.url(), "file:///tmp/%E6%8A%A5%20100%25%3F.txt");
}

}  // namespace
}  // namespace qf
