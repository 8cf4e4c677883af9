#include "actions/file_ops.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

#include "support.h"

namespace qf {
namespace {

using test::exists;
using test::readFile;
using test::TempDir;
using test::writeFile;

struct stat statOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st;
}

void setMtime(const std::string& path, time_t seconds, bool link = false) {
    const timespec times[2] = {{seconds, 0}, {seconds, 123456789}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, link ? AT_SYMLINK_NOFOLLOW : 0), 0) << path;
}

// A folder with a file, an executable, a subfolder, a relative link and a
// dangling link, each with its own mode and time.
void makeSampleTree(const std::string& root) {
    ASSERT_EQ(mkdir(root.c_str(), 0750), 0);
    writeFile(root + "/a.txt", "alpha");
    chmod((root + "/a.txt").c_str(), 0640);
    writeFile(root + "/run.sh", "#!/bin/sh\necho hi\n");
    chmod((root + "/run.sh").c_str(), 0755);
    ASSERT_EQ(mkdir((root + "/sub").c_str(), 0700), 0);
    writeFile(root + "/sub/b.bin", std::string(300000, 'b'));
    ASSERT_EQ(symlink("../a.txt", (root + "/sub/to-a").c_str()), 0);
    ASSERT_EQ(symlink("/nonexistent/target", (root + "/dangling").c_str()), 0);
    setMtime(root + "/a.txt", 1000000000);
    setMtime(root + "/run.sh", 1050000000);
    setMtime(root + "/dangling", 1150000000, true);
    setMtime(root + "/sub/b.bin", 1100000000);
    setMtime(root + "/sub/to-a", 1200000000, true);
    setMtime(root + "/sub", 1300000000);
    setMtime(root, 1400000000);
}

void expectSameMetadata(const std::string& a, const std::string& b) {
    const struct stat sa = statOf(a), sb = statOf(b);
    EXPECT_EQ(sa.st_mode, sb.st_mode) << b;
    if (!S_ISLNK(sa.st_mode)) {
        EXPECT_EQ(sa.st_mtim.tv_sec, sb.st_mtim.tv_sec) << b;
        EXPECT_EQ(sa.st_mtim.tv_nsec, sb.st_mtim.tv_nsec) << b;
    }
}

void expectFaithfulCopy(const std::string& original, const std::string& copy) {
    EXPECT_TRUE(sameTree(original, copy));
    for (const char* rel : {"", "/a.txt", "/run.sh", "/sub", "/sub/b.bin", "/sub/to-a", "/dangling"}) {
        expectSameMetadata(original + rel, copy + rel);
    }
    EXPECT_TRUE(S_ISLNK(statOf(copy + "/sub/to-a").st_mode));
    EXPECT_TRUE(S_ISLNK(statOf(copy + "/dangling").st_mode));
}

// A Unix socket cannot be copied, which makes any tree holding one fail
// part-way on every file system and as every user.
void placeSocket(const std::string& path) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    std::copy(path.begin(), path.end(), addr.sun_path);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    close(fd);
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(PathHelpers, JoinAndInside) {
    struct Case {
        std::string folder, name, joined;
    };
    for (const Case& c : std::vector<Case>{{"/", "a", "/a"}, {"/x", "a b", "/x/a b"}, {"/x/", "c", "/x/c"}}) {
        EXPECT_EQ(joinPath(c.folder, c.name), c.joined);
    }
    struct Inside {
        std::string path, folder;
        bool inside;
    };
    for (const Inside& c : std::vector<Inside>{{"/a/b", "/a", true},
                                               {"/a", "/a", false},
                                               {"/ab", "/a", false},
                                               {"/a/b/c", "/a/b/", true},
                                               {"/a", "/", true},
                                               {"/", "/", false}}) {
        EXPECT_EQ(isInside(c.path, c.folder), c.inside) << c.path << " in " << c.folder;
    }
}

TEST(ItemExists, CountsDanglingLinks) {
    TempDir dir;
    EXPECT_FALSE(itemExists(dir / "none"));
    ASSERT_EQ(symlink("/nonexistent", (dir / "link").c_str()), 0);
    EXPECT_TRUE(itemExists(dir / "link"));
}

TEST(RenameNoReplace, NeverReplacesAnExistingItem) {
    TempDir dir;
    writeFile(dir / "a", "A");
    writeFile(dir / "b", "B");
    EXPECT_EQ(renameNoReplace(dir / "a", dir / "b"), std::errc::file_exists);
    EXPECT_EQ(readFile(dir / "a"), "A");
    EXPECT_EQ(readFile(dir / "b"), "B");
    EXPECT_FALSE(renameNoReplace(dir / "a", dir / "c"));
    EXPECT_FALSE(exists(dir / "a"));
    EXPECT_EQ(readFile(dir / "c"), "A");
}

TEST(MoveItem, MovesFolderWithinOneFileSystem) {
    TempDir dir;
    makeSampleTree(dir / "tree");
    ASSERT_EQ(mkdir((dir / "dest").c_str(), 0755), 0);
    const ino_t inode = statOf(dir / "tree/a.txt").st_ino;
    ASSERT_FALSE(moveItem(dir / "tree", dir / "dest/tree"));
    EXPECT_FALSE(exists(dir / "tree"));
    EXPECT_EQ(readFile(dir / "dest/tree/a.txt"), "alpha");
    EXPECT_EQ(statOf(dir / "dest/tree/a.txt").st_ino, inode) << "a same-volume move is a rename";
}

TEST(MoveItem, RefusesExistingDestinationAndOwnSubfolder) {
    TempDir dir;
    makeSampleTree(dir / "tree");
    writeFile(dir / "taken", "keep me");
    EXPECT_EQ(moveItem(dir / "tree", dir / "taken"), std::errc::file_exists);
    EXPECT_EQ(readFile(dir / "taken"), "keep me");
    EXPECT_EQ(moveItem(dir / "tree", dir / "tree/sub/tree"), std::errc::invalid_argument);
    EXPECT_EQ(moveItem(dir / "tree", dir / "tree"), std::errc::invalid_argument);
    EXPECT_EQ(readFile(dir / "tree/a.txt"), "alpha");
}

// /dev/shm is a tmpfs on Debian, so it stands for "another volume".
class CrossVolume : public ::testing::Test {
protected:
    void SetUp() override {
        struct stat a {}, b {};
        if (stat("/dev/shm", &b) != 0 || !S_ISDIR(b.st_mode) || access("/dev/shm", W_OK) != 0) {
            GTEST_SKIP() << "no writable /dev/shm";
        }
        other_ = std::make_unique<ScopedTmp>("/dev/shm");
        stat(home_.path().c_str(), &a);
        if (a.st_dev == b.st_dev) GTEST_SKIP() << "temporary folder and /dev/shm share a file system";
    }
    struct ScopedTmp {
        explicit ScopedTmp(const char* base) : env("TMPDIR", std::string(base)) {}
        test::ScopedEnv env;
        TempDir dir;
    };
    TempDir home_;
    std::unique_ptr<ScopedTmp> other_;
};

TEST_F(CrossVolume, CopiesVerifiesThenRemovesTheSource) {
    makeSampleTree(home_ / "tree");
    TempDir reference;  // the same tree, to compare with after the move
    makeSampleTree(reference / "tree");
    const std::string dest = other_->dir / "tree";
    ASSERT_FALSE(moveItem(home_ / "tree", dest));
    EXPECT_FALSE(exists(home_ / "tree"));
    expectFaithfulCopy(reference / "tree", dest);
    // Nothing but the item itself is left in the destination folder.
    EXPECT_EQ(namesIn(other_->dir.path()), std::vector<std::string>{"tree"});
}

TEST_F(CrossVolume, FailedCopyLeavesSourceAndNoPartialCopy) {
    makeSampleTree(home_ / "tree");
    placeSocket(home_ / "tree/sub/zz.sock");
    EXPECT_TRUE(moveItem(home_ / "tree", other_->dir / "tree"));
    EXPECT_TRUE(namesIn(other_->dir.path()).empty());
    EXPECT_EQ(readFile(home_ / "tree/a.txt"), "alpha");
    EXPECT_TRUE(exists(home_ / "tree/sub/zz.sock"));
}

TEST_F(CrossVolume, RefusesExistingDestination) {
    writeFile(home_ / "f.txt", "new");
    writeFile(other_->dir / "f.txt", "old");
    EXPECT_EQ(moveItem(home_ / "f.txt", other_->dir / "f.txt"), std::errc::file_exists);
    EXPECT_EQ(readFile(other_->dir / "f.txt"), "old");
    EXPECT_EQ(readFile(home_ / "f.txt"), "new");
}

TEST(CopyItem, CopiesTreeKeepingLinksModesAndTimes) {
    TempDir dir;
    makeSampleTree(dir / "tree");
    ASSERT_FALSE(copyItem(dir / "tree", dir / "tree 副本"));
    expectFaithfulCopy(dir / "tree", dir / "tree 副本");
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"tree", "tree 副本"}));
}

TEST(CopyItem, CopiesALinkAsALink) {
    TempDir dir;
    writeFile(dir / "target", "t");
    ASSERT_EQ(symlink("target", (dir / "link").c_str()), 0);
    ASSERT_FALSE(copyItem(dir / "link", dir / "link 副本"));
    char buf[64] = {};
    ASSERT_EQ(readlink((dir / "link 副本").c_str(), buf, sizeof buf), 6);
    EXPECT_STREQ(buf, "target");
}

TEST(CopyItem, NeverOverwrites) {
    TempDir dir;
    writeFile(dir / "a", "new");
    writeFile(dir / "b", "old");
    EXPECT_EQ(copyItem(dir / "a", dir / "b"), std::errc::file_exists);
    EXPECT_EQ(readFile(dir / "b"), "old");
    ASSERT_EQ(symlink("/nonexistent", (dir / "dangling").c_str()), 0);
    EXPECT_EQ(copyItem(dir / "a", dir / "dangling"), std::errc::file_exists);
}

TEST(CopyItem, FailureLeavesNothingBehind) {
    TempDir dir;
    makeSampleTree(dir / "tree");
    placeSocket(dir / "tree/sub/zz.sock");
    EXPECT_EQ(copyItem(dir / "tree", dir / "tree 副本"), std::errc::operation_not_supported);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"tree"});
}

TEST(CopyItem, MissingSourceReportsNoSuchFile) {
    TempDir dir;
    EXPECT_EQ(copyItem(dir / "gone", dir / "gone 副本"), std::errc::no_such_file_or_directory);
    EXPECT_TRUE(namesIn(dir.path()).empty());
}

TEST(SameTree, NoticesEveryKindOfDifference) {
    TempDir dir;
    makeSampleTree(dir / "a");
    struct Case {
        const char* what;
        void (*spoil)(const std::string& root);
    };
    const std::vector<Case> cases{
        {"content", [](const std::string& r) { writeFile(r + "/sub/b.bin", std::string(299999, 'b') + "c"); }},
        {"length", [](const std::string& r) { writeFile(r + "/a.txt", "alph"); }},
        {"link target", [](const std::string& r) {
             unlink((r + "/sub/to-a").c_str());
             ASSERT_EQ(symlink("../run.sh", (r + "/sub/to-a").c_str()), 0);
         }},
        {"extra entry", [](const std::string& r) { writeFile(r + "/sub/extra", ""); }},
        {"missing entry", [](const std::string& r) { unlink((r + "/run.sh").c_str()); }},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(dir / "b");
        ASSERT_FALSE(copyItem(dir / "a", dir / "b"));
        EXPECT_TRUE(sameTree(dir / "a", dir / "b")) << c.what;
        c.spoil(dir / "b");
        EXPECT_FALSE(sameTree(dir / "a", dir / "b")) << c.what;
    }
}

}  // namespace
}  // namespace qf
