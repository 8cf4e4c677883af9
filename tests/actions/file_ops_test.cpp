// The file-system work behind the actions: copies and moves that never
// replace anything, and the freedesktop.org Trash.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>

#include "actions/file_ops.h"
#include "actions/trash.h"
#include "support.h"

namespace qf::test {
namespace {

struct stat statOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st;
}

// A folder with a file, an executable, a subfolder, a relative link and a
// dangling link, each with its own mode and time.
const char* const kSampleEntries[] = {"", "/a.txt", "/run.sh", "/sub", "/sub/b.bin", "/sub/to-a", "/dangling"};

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
    for (int i = 0; i < static_cast<int>(std::size(kSampleEntries)); ++i) {
        const time_t t = 1000000000 + 50000000 * i;
        const timespec times[2] = {{t, 0}, {t, 123456789}};
        ASSERT_EQ(utimensat(AT_FDCWD, (root + kSampleEntries[i]).c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
    }
}

void expectFaithfulCopy(const std::string& original, const std::string& copy) {
    EXPECT_TRUE(sameTree(original, copy));
    for (const char* rel : kSampleEntries) {
        const struct stat a = statOf(original + rel), b = statOf(copy + rel);
        EXPECT_EQ(a.st_mode, b.st_mode) << rel;
        if (S_ISLNK(a.st_mode)) continue;
        EXPECT_EQ(a.st_mtim.tv_sec, b.st_mtim.tv_sec) << rel;
        EXPECT_EQ(a.st_mtim.tv_nsec, b.st_mtim.tv_nsec) << rel;
    }
}

// A sample tree holding a Unix socket, which cannot be copied: copying it
// fails part-way on every file system and as every user.
void makeUncopyableTree(const std::string& root) {
    makeSampleTree(root);
    const std::string path = root + "/sub/zz.sock";
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    std::copy(path.begin(), path.end(), addr.sun_path);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    close(fd);
}

TEST(FileOps, CopiesKeepModesTimesAndLinksAndAMoveOnOneVolumeRenames) {
    TempDir dir;
    makeSampleTree(dir / "tree");
    ASSERT_TRUE(copyItem(dir / "tree", dir / "tree 副本"));
    expectFaithfulCopy(dir / "tree", dir / "tree 副本");
    const ino_t inode = statOf(dir / "tree/a.txt").st_ino;
    ASSERT_EQ(mkdir((dir / "dest").c_str(), 0755), 0);
    ASSERT_TRUE(moveItem(dir / "tree", dir / "dest/tree"));
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"dest", "tree 副本"}));
    EXPECT_EQ(statOf(dir / "dest/tree/a.txt").st_ino, inode);
}

// Taken names (a dangling link too), a folder into itself, a copy that
// fails part-way: each is refused and nothing new is left behind.
TEST(FileOps, RefusalsAndFailuresChangeNothing) {
    TempDir dir;
    makeSampleTree(dir / "tree");
    makeUncopyableTree(dir / "bad");
    writeFile(dir / "a", "new");
    writeFile(dir / "b", "old");
    ASSERT_EQ(symlink("/nonexistent", (dir / "dangling").c_str()), 0);
    const auto before = treeUnder(dir.path());
    const struct {
        Expected<void> (*operation)(const std::string&, const std::string&);
        std::string from, to;
        std::errc error;
    } cases[] = {
        {copyItem, "a", "b", std::errc::file_exists},
        {copyItem, "a", "dangling", std::errc::file_exists},
        {copyItem, "bad", "bad 副本", std::errc::operation_not_supported},
        {copyItem, "gone", "gone 副本", std::errc::no_such_file_or_directory},
        {moveItem, "tree", "b", std::errc::file_exists},
        {moveItem, "tree", "tree/sub/tree", std::errc::invalid_argument},
        {moveItem, "tree", "tree", std::errc::invalid_argument},
    };
    for (const auto& c : cases) {
        const auto done = c.operation(dir / c.from, dir / c.to);
        EXPECT_TRUE(!done && done.error() == c.error) << c.from << " " << c.to;
    }
    EXPECT_EQ(treeUnder(dir.path()), before);
}

TEST(SameTree, NoticesEveryKindOfDifference) {
    TempDir dir;
    makeSampleTree(dir / "a");
    const std::pair<const char*, void (*)(const std::string&)> cases[] = {
        {"content", [](const std::string& r) { writeFile(r + "/sub/b.bin", std::string(299999, 'b') + "c"); }},
        {"link target",
         [](const std::string& r) {
             unlink((r + "/sub/to-a").c_str());
             ASSERT_EQ(symlink("../run.sh", (r + "/sub/to-a").c_str()), 0);
         }},
        {"extra entry", [](const std::string& r) { writeFile(r + "/sub/extra", ""); }},
        {"missing entry", [](const std::string& r) { unlink((r + "/run.sh").c_str()); }},
    };
    for (const auto& [what, spoil] : cases) {
        std::filesystem::remove_all(dir / "b");
        ASSERT_TRUE(copyItem(dir / "a", dir / "b"));
        EXPECT_TRUE(sameTree(dir / "a", dir / "b")) << what;
        spoil(dir / "b");
        EXPECT_FALSE(sameTree(dir / "a", dir / "b")) << what;
    }
}

// Its own home keeps the real trash out of reach. A relative XDG_DATA_HOME
// is ignored, like an unset one; the trash action's test sets one.
class TrashTest : public ::testing::Test {
protected:
    TempDir home_, work_;
    ScopedEnv homeEnv_{"HOME", home_.path()};
    ScopedEnv xdg_{"XDG_DATA_HOME", std::string("relative/data")};
    std::string trash_ = home_ / ".local/share/Trash";
};

// The trash is filled in Kathmandu's offset, 5:45 ahead of UTC: a date
// written in UTC, or a zone read once and cached, shows.
constexpr const char* kZone = "<+0545>-5:45";
constexpr std::time_t kZoneOffset = 5 * 3600 + 45 * 60;

std::string dateInZone(std::time_t t) {
    t += kZoneOffset;
    std::tm shifted{};
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", gmtime_r(&t, &shifted));
    return text;
}

// A trash at the top of another volume is made private and records paths
// relative to its top, with "%" escapes for every byte but A-Z a-z 0-9 - _ .
// ~ and "/"; the date is local time. The home trash's absolute paths are
// checked below and through the trash action.
TEST_F(TrashTest, TheInfoFileRecordsTheEncodedPathAndLocalTime) {
    const TrashPlace place{work_ / ".Trash-test", work_.path()};
    const std::string name = "r-_ 1#?100%照片\n~.pdf";
    ASSERT_EQ(mkdir((work_ / "docs").c_str(), 0755), 0);
    writeFile(work_ / "docs/" + name, "pdf");
    const ScopedTimeZone zone(kZone);
    const std::time_t before = std::time(nullptr);
    ASSERT_TRUE(trashInto(work_ / "docs/" + name, place));
    const std::string info = readFile(place.folder + "/info/" + name + ".trashinfo");
    const std::string head = "[Trash Info]\nPath=docs/r-_%201%23%3F100%25%E7%85%A7%E7%89%87%0A~.pdf\nDeletionDate=";
    EXPECT_TRUE(info == head + dateInZone(before) + "\n" || info == head + dateInZone(std::time(nullptr)) + "\n")
        << info;
    EXPECT_EQ(readFile(place.folder + "/files/" + name), "pdf");
    EXPECT_EQ(statOf(place.folder).st_mode & 0777, 0700u);
}

// A taken name in files/ or info/ moves the item to the next one; an item in
// the trash, or the trash itself, stays where it is.
TEST_F(TrashTest, TakenNamesGetTheNextNameAndTheTrashStaysPut) {
    for (const char* folder : {"one", "two", "three"}) {
        ASSERT_EQ(mkdir((work_ / folder).c_str(), 0755), 0);
        writeFile(work_ / folder + "/photo.jpg", folder);
    }
    ASSERT_TRUE(moveItemToTrash(work_ / "one/photo.jpg"));
    writeFile(trash_ + "/files/photo.2.jpg", "stray");  // a file without its info
    ASSERT_TRUE(moveItemToTrash(work_ / "two/photo.jpg"));
    ASSERT_TRUE(moveItemToTrash(work_ / "three/photo.jpg"));
    EXPECT_EQ(readFile(trash_ + "/files/photo.jpg"), "one");
    EXPECT_EQ(readFile(trash_ + "/files/photo.2.jpg"), "stray");
    EXPECT_FALSE(exists(trash_ + "/info/photo.2.jpg.trashinfo"));
    EXPECT_EQ(readFile(trash_ + "/files/photo.3.jpg"), "two");
    EXPECT_NE(readFile(trash_ + "/info/photo.4.jpg.trashinfo").find("\nPath=" + work_ / "three/photo.jpg" + "\n"),
              std::string::npos);
    EXPECT_FALSE(moveItemToTrash(trash_ + "/files/photo.jpg"));
    EXPECT_FALSE(moveItemToTrash(trash_));
    EXPECT_EQ(readFile(trash_ + "/files/photo.jpg"), "one");
}

// /dev/shm is a tmpfs on Debian, the top of a file system of its own: a
// move there copies, verifies and only then removes the source, and its
// trash is the one at its top.
TEST(AnotherVolume, AMoveCopiesVerifiesThenRemovesAndTheTrashIsAtTheTop) {
    TempDir home, reference;  // reference: the same tree, to compare with after the move
    struct stat shm {
    }, here{};
    if (stat("/dev/shm", &shm) != 0 || access("/dev/shm", W_OK) != 0 || stat(home.path().c_str(), &here) != 0 ||
        here.st_dev == shm.st_dev)
        GTEST_SKIP() << "needs a writable /dev/shm on its own file system";
    ScopedEnv tmp("TMPDIR", std::string("/dev/shm"));
    TempDir other;
    makeSampleTree(home / "tree");
    makeSampleTree(reference / "tree");
    makeUncopyableTree(home / "bad");
    writeFile(other / "tree", "taken");
    const auto before = treeUnder(home.path());
    const auto taken = moveItem(home / "tree", other / "tree");
    EXPECT_TRUE(!taken && taken.error() == std::errc::file_exists);
    EXPECT_FALSE(moveItem(home / "bad", other / "bad"));
    EXPECT_EQ(treeUnder(home.path()), before);
    EXPECT_EQ(namesIn(other.path()), std::vector<std::string>{"tree"});
    std::filesystem::remove(other / "tree");
    ASSERT_TRUE(moveItem(home / "tree", other / "tree"));
    EXPECT_FALSE(exists(home / "tree"));
    expectFaithfulCopy(reference / "tree", other / "tree");
    EXPECT_EQ(namesIn(other.path()), std::vector<std::string>{"tree"});
    ScopedEnv data("XDG_DATA_HOME", home / "data");
    const std::string own = "/dev/shm/.Trash-" + std::to_string(getuid());
    const bool hadOwn = exists(own);  // what this test adds there, it removes
    const auto place = trashPlaceFor(other / "tree");
    ASSERT_TRUE(place) << place.error().message();
    EXPECT_EQ(place->topFolder, "/dev/shm");
    EXPECT_TRUE(place->folder == own || place->folder == "/dev/shm/.Trash/" + std::to_string(getuid()));
    if (!hadOwn) std::filesystem::remove_all(own);
}

}  // namespace
}  // namespace qf::test
