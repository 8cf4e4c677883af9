#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>

#include "core/core_test_support.h"
#include "core/hit.h"

namespace qf {
namespace {

TEST(FileFacts, LstatInfoOfEachKindOfPath) {
    test::TempDir dir;
    std::filesystem::create_directory(dir / "Notes.app");
    test::writeFile(dir / "empty.txt", "");
    test::writeFile(dir / "data.bin", "12345");
    std::filesystem::create_directory_symlink(dir / "Notes.app", dir / "link.pdf");
    const struct {
        std::string path;
        bool isDir;
        std::int64_t size;
        bool dated;
    } cases[] = {
        {dir / "Notes.app", true, -1, true},
        {dir / "empty.txt", false, 0, true},
        {dir / "data.bin", false, 5, true},
        // The link itself: not a directory, its size is the length of its target text.
        {dir / "link.pdf", false, static_cast<std::int64_t>((dir / "Notes.app").size()), true},
        {dir / "gone", false, -1, false},
        {std::string("/tmp\0x", 6), false, -1, false},
    };
    for (const auto& c : cases) {
        const StatInfo info = lstatInfo(c.path);
        EXPECT_EQ(info.isDir, c.isDir) << c.path;
        EXPECT_EQ(info.size, c.size) << c.path;
        EXPECT_EQ(info.mtime.has_value(), c.dated) << c.path;
        if (!c.dated) {
            EXPECT_FALSE(info.btime) << c.path;
        }
    }
    // Dates carry sub-second precision. Birth is not modification: it is known
    // exactly where the file system records one, and then recent.
    const std::string file = dir / "data.bin";
    const struct timespec times[2] = {{1700000000, 250000000}, {1700000000, 250000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    const StatInfo info = lstatInfo(file);
    ASSERT_TRUE(info.mtime);
    EXPECT_DOUBLE_EQ(*info.mtime, 1700000000.25);
    struct statx stx {};
    ASSERT_EQ(::statx(AT_FDCWD, file.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &stx), 0);
    ASSERT_EQ(info.btime.has_value(), (stx.stx_mask & STATX_BTIME) != 0);
    if (info.btime) {
        EXPECT_NEAR(*info.btime, std::time(nullptr), 60);
    }
}

TEST(FileFacts, KindTexts) {
    const struct {
        const char* path;
        bool isDir;
        const char* kind;
    } cases[] = {
        {"Notes.app", true, "文件夹"},
        {"README", false, "文件"},
        {"trailing.", false, "文件"},
        {".profile", false, "文件"},
        {"report.zzq", false, "ZZQ"},
        {"x.straße", false, "STRASSE"},
        {"notes.txt", false, "纯文本文档"},
        {"/a/b/Report.PDF", false, "PDF 文档"},      // the user's language (zh_CN in these tests)
        {"archive.tar.gz", false, "Gzip 归档文件"},  // only the last extension counts
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
    const std::string path = dir / "a b#1.pdf";
    test::writeFile(path, "%PDF");
    const Hit hit = hitForPath(path);
    EXPECT_EQ(hit.name(), "a b#1.pdf");
    EXPECT_EQ(hit.size(), 4);
    EXPECT_EQ(hit.modified(), lstatInfo(path).mtime);
    EXPECT_EQ(hit.kind(), "PDF 文档");
    EXPECT_EQ(hit.url(), "file://" + dir.path() + "/a%20b%231.pdf");

    const Hit chinese("/tmp/报 100%?.txt", "报 100%?.txt", false, 1, std::nullopt, std::nullopt, "x");
    EXPECT_EQ(chinese.url(), "file:///tmp/%E6%8A%A5%20100%25%3F.txt");
}

}  // namespace
}  // namespace qf
