// Paths longer than one system call takes, cut into steps at the lengths
// where a cut goes wrong: around PATH_MAX, and a part that spans it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <climits>
#include <filesystem>

#include "base/path_at.h"
#include "common/test_support.h"

namespace qf {
namespace {

// Folders below `top` whose bottom path is exactly `length` bytes long;
// returns that bottom, opened step by step.
UniqueFd makeChainOfLength(const std::string& top, size_t length, std::string& path) {
    UniqueFd folder(::open(top.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    path = top;
    while (folder && path.size() < length) {
        const size_t left = length - path.size() - 1;  // without the "/"
        // Parts of 200 bytes, the last one fitted.
        const size_t part = left > 255 ? 200 : left;
        const std::string name(part, 'n');
        if (::mkdirat(folder.get(), name.c_str(), 0755) != 0) return {};
        folder.reset(::openat(folder.get(), name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        path += "/" + name;
    }
    return folder;
}

TEST(PathAt, ReachesFoldersAtAnyLength) {
    test::TempDir dir;
    for (size_t length : {size_t{PATH_MAX} - 2, size_t{PATH_MAX} - 1, size_t{PATH_MAX}, size_t{PATH_MAX} + 1,
                          size_t{3 * PATH_MAX} + 7, size_t{40000}}) {
        SCOPED_TRACE(length);
        const std::string top = dir / std::to_string(length);
        std::filesystem::create_directory(top);
        std::string path;
        UniqueFd bottom = makeChainOfLength(top, length, path);
        ASSERT_TRUE(bottom.valid());
        ASSERT_EQ(path.size(), length);
        struct stat expected {
        }, opened{}, viaRest{};
        ASSERT_EQ(::fstat(bottom.get(), &expected), 0);

        Expected<UniqueFd> fd = openPath(path, O_RDONLY | O_DIRECTORY);
        ASSERT_TRUE(fd) << fd.error().message();
        ASSERT_EQ(::fstat(fd->get(), &opened), 0);
        EXPECT_EQ(opened.st_ino, expected.st_ino);
        Expected<PathAt> at = pathAt(path + "/");
        ASSERT_TRUE(at) << at.error().message();
        EXPECT_LT(std::string_view(at->rest()).size(), size_t{PATH_MAX});
        ASSERT_EQ(::fstatat(at->dirFd(), at->rest(), &viaRest, 0), 0);
        EXPECT_EQ(viaRest.st_ino, expected.st_ino);
    }
    EXPECT_FALSE(openPath(dir / "missing", O_RDONLY)) << "a plain failure stays one";
}

}  // namespace
}  // namespace qf
