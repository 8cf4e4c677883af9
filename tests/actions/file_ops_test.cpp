// The file-system work behind the actions: copies and moves that never
// replace anything, and the freedesktop.org Trash.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>

#include "actions/file_ops.h"
#include "actions/trash.h"
#include "base/unix_socket.h"
#include "support.h"

namespace qf::test {
namespace {

struct stat statOf(const std::string& path) {
    struct stat st {};
    lstat(path.c_str(), &st);
    return st;
}

// A folder with a file, an executable, a subfolder, a relative link and a
// dangling link, each with its own mode and time.
const char* const kSampleEntries[] = {"", "/a.txt", "/run.sh", "/sub", "/sub/b.bin", "/sub/to-a", "/dangling"};

// With a Unix socket, which cannot be copied, copying the tree fails
// part-way on every file system and as every user.
void makeSampleTree(const std::string& root, bool uncopyable = false) {
    ASSERT_EQ(mkdir(root.c_str(), 0750), 0);
    writeFile(root + "/a.txt", "alpha");
    writeFile(root + "/run.sh", "#!/bin/sh\necho hi\n");
    chmod((root + "/run.sh").c_str(), 0755);
    ASSERT_EQ(mkdir((root + "/sub").c_str(), 0700), 0);
    writeFile(root + "/sub/b.bin", std::string(300000, 'b'));
    ASSERT_EQ(symlink("../a.txt", (root + "/sub/to-a").c_str()), 0);
    ASSERT_EQ(symlink("/nonexistent/target", (root + "/dangling").c_str()), 0);
    for (int i = 0; i < static_cast<int>(std::size(kSampleEntries)); ++i) {
        const timespec times[2] = {{1000000000 + 50000000 * i, 0}, {1000000000 + 50000000 * i, 123456789}};
        ASSERT_EQ(utimensat(AT_FDCWD, (root + kSampleEntries[i]).c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
    }
    if (!uncopyable) return;
    UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const auto address = unixSocketAddress(root + "/sub/zz.sock");
    ASSERT_TRUE(address);
    ASSERT_EQ(bind(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof(sockaddr_un)), 0);
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

// A copy keeps modes, times and links, and a move on one volume renames;
// taken names (a dangling link too), a folder into itself, a copy that
// fails part-way are refused and leave nothing new behind.
TEST(FileOps, CopiesAndMovesKeepEverythingOrChangeNothing) {
    TempDir dir;
    makeSampleTree(dir / "tree");
    ASSERT_TRUE(copyItem(dir / "tree", dir / "tree 副本"));
    expectFaithfulCopy(dir / "tree", dir / "tree 副本");
    const ino_t inode = statOf(dir / "tree/a.txt").st_ino;
    ASSERT_EQ(mkdir((dir / "dest").c_str(), 0755), 0);
    ASSERT_TRUE(moveItem(dir / "tree", dir / "dest/tree"));
    EXPECT_EQ(statOf(dir / "dest/tree/a.txt").st_ino, inode);
    EXPECT_FALSE(exists(dir / "tree"));
    makeSampleTree(dir / "bad", true);
    writeFile(dir / "a", "new");
    writeFile(dir / "b", "old");
    ASSERT_EQ(symlink("/nonexistent", (dir / "dangling").c_str()), 0);
    const auto before = treeUnder(dir.path());
    const std::tuple<decltype(&copyItem), std::string, std::string, std::errc> cases[] = {
        {copyItem, "a", "b", std::errc::file_exists},
        {copyItem, "a", "dangling", std::errc::file_exists},
        {copyItem, "bad", "bad 副本", std::errc::operation_not_supported},
        {copyItem, "gone", "gone 副本", std::errc::no_such_file_or_directory},
        {moveItem, "dest", "b", std::errc::file_exists},
        {moveItem, "dest", "dest/tree/dest", std::errc::invalid_argument},
        {moveItem, "dest", "dest", std::errc::invalid_argument},
    };
    for (const auto& [operation, from, to, error] : cases) {
        const auto done = operation(dir / from, dir / to);
        EXPECT_TRUE(!done && done.error() == error) << from << " " << to;
    }
    EXPECT_EQ(treeUnder(dir.path()), before);
}

// A trash at the top of another volume is made private and records paths
// relative to its top, with "%" escapes for every byte but A-Z a-z 0-9 - _ .
// ~ and "/"; the date is local time, here Kathmandu's, 5:45 ahead of UTC: a
// date written in UTC, or a zone read once and cached, shows. A taken name
// in files/ or info/ moves the item to the next one; an item in the trash,
// or the trash itself, stays put. A relative XDG_DATA_HOME counts as unset.
TEST(Trash, InfoFilesRecordTheEncodedPathAndLocalTimeUnderAFreeName) {
    TempDir home, work;
    ScopedEnv homeEnv("HOME", home.path()), xdg("XDG_DATA_HOME", std::string("relative/data"));
    const std::string trash = home / ".local/share/Trash";
    const TrashPlace place{work / ".Trash-test", work.path()};
    const std::string name = "r-_ 1#?100%照片\n~.pdf";
    ASSERT_EQ(mkdir((work / "docs").c_str(), 0755), 0);
    writeFile(work / "docs/" + name, "pdf");
    const ScopedTimeZone zone("<+0545>-5:45");
    const auto dateAt = [](std::time_t t) {
        t += 5 * 3600 + 45 * 60;
        std::tm shifted{};
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", gmtime_r(&t, &shifted));
        return std::string(text);
    };
    const std::time_t before = std::time(nullptr);
    ASSERT_TRUE(trashInto(work / "docs/" + name, place));
    const std::string info = readFile(place.folder + "/info/" + name + ".trashinfo");
    const std::string head = "[Trash Info]\nPath=docs/r-_%201%23%3F100%25%E7%85%A7%E7%89%87%0A~.pdf\nDeletionDate=";
    EXPECT_TRUE(info == head + dateAt(before) + "\n" || info == head + dateAt(std::time(nullptr)) + "\n") << info;
    EXPECT_EQ(readFile(place.folder + "/files/" + name), "pdf");
    EXPECT_EQ(statOf(place.folder).st_mode & 0777, 0700u);
    for (const char* folder : {"one", "two", "three"}) {
        ASSERT_EQ(mkdir((work / folder).c_str(), 0755), 0);
        writeFile(work / folder + "/photo.jpg", folder);
    }
    ASSERT_TRUE(moveItemToTrash(work / "one/photo.jpg"));
    writeFile(trash + "/files/photo.2.jpg", "stray");  // a file without its info
    ASSERT_TRUE(moveItemToTrash(work / "two/photo.jpg"));
    ASSERT_TRUE(moveItemToTrash(work / "three/photo.jpg"));
    EXPECT_EQ(readFile(trash + "/files/photo.jpg"), "one");
    EXPECT_EQ(readFile(trash + "/files/photo.2.jpg"), "stray");
    EXPECT_EQ(readFile(trash + "/files/photo.3.jpg"), "two");
    EXPECT_NE(readFile(trash + "/info/photo.4.jpg.trashinfo").find("\nPath=" + work / "three/photo.jpg" + "\n"),
              std::string::npos);
    EXPECT_FALSE(moveItemToTrash(trash + "/files/photo.jpg"));
    EXPECT_FALSE(moveItemToTrash(trash));
    EXPECT_EQ(readFile(trash + "/files/photo.jpg"), "one");
}

// /dev/shm is a tmpfs on Debian, the top of a file system of its own: a
// move there copies, verifies and only then removes the source, and its
// trash is the one at its top: $top/.Trash/$uid when $top/.Trash is sticky,
// else $top/.Trash-$uid. What this test adds there, it removes.
TEST(AnotherVolume, AMoveCopiesVerifiesThenRemovesAndTheTrashIsAtTheTop) {
    TempDir home, reference;  // reference: the same tree, to compare with after the move
    if (access("/dev/shm", W_OK) != 0 || statOf("/dev/shm").st_dev == statOf(home.path()).st_dev)
        GTEST_SKIP() << "needs a writable /dev/shm on its own file system";
    ScopedEnv tmp("TMPDIR", std::string("/dev/shm"));
    TempDir other;
    makeSampleTree(home / "tree");
    makeSampleTree(reference / "tree");
    makeSampleTree(home / "bad", true);
    writeFile(other / "tree", "taken");
    const auto before = treeUnder(home.path());
    const auto taken = moveItem(home / "tree", other / "tree");
    EXPECT_TRUE(!taken && taken.error() == std::errc::file_exists);
    EXPECT_FALSE(moveItem(home / "bad", other / "bad"));
    EXPECT_EQ(treeUnder(home.path()), before);
    std::filesystem::remove(other / "tree");
    ASSERT_TRUE(moveItem(home / "tree", other / "tree"));
    EXPECT_FALSE(exists(home / "tree"));
    expectFaithfulCopy(reference / "tree", other / "tree");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(other.path()), {}), 1);
    ScopedEnv data("XDG_DATA_HOME", home / "data");
    const std::string own = "/dev/shm/.Trash-" + std::to_string(getuid()), shared = "/dev/shm/.Trash";
    const bool hadOwn = exists(own), hadShared = exists(shared);
    ASSERT_TRUE(hadShared || mkdir(shared.c_str(), 0777) == 0);  // not sticky: others could empty it
    const auto place = trashPlaceFor(other / "tree");
    ASSERT_TRUE(place) << place.error().message();
    EXPECT_EQ(place->topFolder, "/dev/shm");
    EXPECT_TRUE(place->folder == own || (hadShared && place->folder == shared + "/" + std::to_string(getuid())));
    if (!hadShared) std::filesystem::remove_all(shared);
    if (!hadOwn) std::filesystem::remove_all(own);
}

}  // namespace
}  // namespace qf::test
