// Paths as text: their parts, and whether one lies inside another at the
// boundaries where a prefix test goes wrong (/a and /ab, the root,
// trailing slashes).
#include <gtest/gtest.h>

#include "base/path_names.h"

namespace qf {
namespace {

TEST(PathNames, LastComponentAndContainingFolder) {
    const struct {
        const char* path;
        const char* last;
        const char* folder;
    } cases[] = {
        {"/Users/x/docs/", "docs", "/Users/x"},
        {"/report", "report", "/"},
        {"/", "/", "/"},
        {"//", "/", "/"},
        {"/a//b", "b", "/a"},
        {"/a/b//", "b", "/a"},
        {"report", "report", "."},
        {"", "", "/"},
        {"/报告/文件.txt", "文件.txt", "/报告"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lastPathComponent(c.path), c.last) << c.path;
        EXPECT_EQ(containingFolder(c.path), c.folder) << c.path;
    }
}

TEST(PathNames, JoinAndTrailingSlashes) {
    const std::tuple<const char*, const char*, const char*> joins[] = {
        {"/a", "b", "/a/b"},
        {"/a/", "b", "/a/b"},
        {"/", "b", "/b"},
        {"", "b", "/b"},
    };
    for (const auto& [folder, name, joined] : joins) EXPECT_EQ(joinPath(folder, name), joined) << folder;
    const std::pair<const char*, const char*> trimmed[] = {
        {"/a//", "/a"}, {"/a", "/a"}, {"/", "/"}, {"//", "/"}, {"", ""}, {"a/", "a"},
    };
    for (const auto& [path, without] : trimmed) EXPECT_EQ(withoutTrailingSlashes(path), without) << path;
}

TEST(PathNames, InsideAFolder) {
    const struct {
        const char* path;
        const char* folder;
        bool sameOrInside;
        bool strictlyInside;
    } cases[] = {
        {"/a", "/a", true, false},    {"/a/b", "/a", true, true},
        {"/a/b/c", "/a", true, true}, {"/ab", "/a", false, false},  // a longer name, not a child
        {"/a", "/ab", false, false},  {"/a", "/a/b", false, false},
        {"/a/b", "/a/", true, true},  // trailing slashes of either do not count
        {"/a", "/a/", true, false},   {"/a/", "/a", true, false},
        {"/a//", "/a", true, false},  {"/ab", "/a/", false, false},
        {"/x", "/", true, true},      {"/", "/", true, false},
        {"//", "/", true, false},     {"x", "/", false, false},  // relative paths lie in no absolute folder
        {"", "/", false, false},      {"/a", "", false, false},  // an empty folder holds nothing
        {"a/b", "a", true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isSameOrInside(c.path, c.folder), c.sameOrInside) << c.path << " in " << c.folder;
        EXPECT_EQ(isStrictlyInside(c.path, c.folder), c.strictlyInside) << c.path << " in " << c.folder;
    }
}

}  // namespace
}  // namespace qf
