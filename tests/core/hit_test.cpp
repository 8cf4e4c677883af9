#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>

#include "core/core_test_support.h"
#include "core/hit.h"

namespace qf {
namespace {

// What a hit shows of each kind of path, taken from the path itself (lstat),
// with kinds in the user's language (zh_CN in these tests). Only the last
// extension counts; types the MIME database describes in English only are
// named by their extension.
TEST(FileFacts, HitsOfEachKindOfPath) {
    test::TempDir dir;
    std::filesystem::create_directory(dir / "Notes.app");
    test::writeFile(dir / "empty.txt", "");
    test::writeFile(dir / "报 #1%?.PDF", "%PDF");
    std::filesystem::create_directory_symlink(dir / "Notes.app", dir / "link.pdf");
    const std::tuple<std::string, bool, std::int64_t, const char*> cases[] = {
        {"Notes.app", true, -1, "文件夹"},
        {"empty.txt", false, 0, "纯文本文档"},
        {"报 #1%?.PDF", false, 4, "PDF 文档"},
        // The link itself: not a directory, its size is the length of its target text.
        {"link.pdf", false, static_cast<std::int64_t>((dir / "Notes.app").size()), "PDF 文档"},
        {"trailing.", false, -1, "文件"},
        {".profile", false, -1, "文件"},
        {"x.straße", false, -1, "STRASSE"},
        {"b.tar.gz", false, -1, "Gzip 归档文件"},
        {"C.toml", false, -1, "TOML"},
    };
    for (const auto& [name, isDir, size, kind] : cases) {
        SCOPED_TRACE(name);
        const Hit hit = hitForPath(dir / name);
        EXPECT_EQ(hit.name(), name);
        EXPECT_EQ(hit.isDir(), isDir);
        EXPECT_EQ(hit.size(), size);
        EXPECT_EQ(hit.kind(), kind);
        EXPECT_EQ(hit.modified().has_value(), test::exists(dir / name));
    }
    EXPECT_EQ(hitForPath(dir / "报 #1%?.PDF").url(), "file://" + dir.path() + "/%E6%8A%A5%20%231%25%3F.PDF");
    // A NUL ends the path for the system: it must not stand for the folder.
    EXPECT_FALSE(lstatInfo(dir / std::string("Notes.app\0x", 11)).mtime);
    // Dates carry sub-second precision. Birth is not modification: it is known
    // exactly where the file system records one, and then recent.
    const struct timespec times[2] = {{1700000000, 250000000}, {1700000000, 250000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "empty.txt").c_str(), times, 0), 0);
    const Hit hit = hitForPath(dir / "empty.txt");
    EXPECT_DOUBLE_EQ(hit.modified().value_or(0), 1700000000.25);
    struct statx stx {};
    ASSERT_EQ(::statx(AT_FDCWD, (dir / "empty.txt").c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &stx), 0);
    ASSERT_EQ(hit.created().has_value(), (stx.stx_mask & STATX_BTIME) != 0);
    EXPECT_NEAR(hit.created().value_or(std::time(nullptr)), std::time(nullptr), 60);
}

}  // namespace
}  // namespace qf
