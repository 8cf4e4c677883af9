#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/fanotify.h>
#include <sys/stat.h>

#include "fanotify_watch.h"
#include "index_test_support.h"

namespace qf::index {
namespace {

using testing::pollUntil;
using testing::touch;
namespace fs = std::filesystem;

// Collects changes until one names `name`; returns it.
std::optional<FanotifyWatch::Change> waitFor(FanotifyWatch& w, const std::string& name, uint32_t mask) {
    std::optional<FanotifyWatch::Change> found;
    pollUntil([&] {
        bool overflow = false;
        for (FanotifyWatch::Change& c : w.read(overflow))
            if (c.name == name && (c.mask & mask)) found = std::move(c);
        return found.has_value();
    });
    return found;
}

TEST(FanotifyWatch, NamesTheFolderAndItemOfEachChange) {
    FanotifyWatch w;
    testing::TempDir dir;
    std::string folder = fs::canonical(dir.path()).string() + "/watched";
    fs::create_directories(folder + "/sub");
    UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    ASSERT_EQ(::fstat(fd.get(), &st), 0);
    if (!w.valid() || !w.cover(fd.get(), st.st_dev)) GTEST_SKIP() << "fanotify file-system marks need CAP_SYS_ADMIN";
    EXPECT_EQ(w.fileSystems(), 1u);

    touch(folder + "/sub/Réport.txt");
    auto created = waitFor(w, "Réport.txt", FAN_CREATE);
    ASSERT_TRUE(created);
    EXPECT_EQ(w.folderPath(created->folderKey), folder + "/sub");

    // A removed folder has no path to report.
    fs::remove_all(folder + "/sub");
    EXPECT_TRUE(waitFor(w, "sub", FAN_DELETE));
    EXPECT_EQ(w.folderPath(created->folderKey), std::nullopt);
}

// Watching a disk must not keep it from being unmounted (ejected).
TEST(FanotifyWatch, LeavesTheDiskFreeToUnmount) {
    testing::TempDir dir;
    const std::string image = dir / "disk.img", mountPoint = dir / "mnt";
    fs::create_directory(mountPoint);
    std::string make = "truncate -s 16M " + image + " && mkfs.ext4 -q " + image + " && mount -o loop " + image + " " +
                       mountPoint + " 2>/dev/null";
    if (std::system(make.c_str()) != 0) GTEST_SKIP() << "no loop mounts here (needs root and loop devices)";
    FanotifyWatch w;
    bool covered = false;
    {
        UniqueFd fd(::open(mountPoint.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat st {};
        covered = ::fstat(fd.get(), &st) == 0 && w.valid() && w.cover(fd.get(), st.st_dev);
    }
    touch(mountPoint + "/seen.txt");
    auto seen = covered ? waitFor(w, "seen.txt", FAN_CREATE) : std::nullopt;
    bool unmounted = std::system(("umount " + mountPoint).c_str()) == 0;
    if (!unmounted) std::system(("umount -l " + mountPoint).c_str());
    if (!covered) GTEST_SKIP() << "fanotify file-system marks need CAP_SYS_ADMIN";
    ASSERT_TRUE(seen);
    EXPECT_EQ(w.folderPath(seen->folderKey), std::nullopt) << "the disk is gone";
    EXPECT_TRUE(unmounted);
}

}  // namespace
}  // namespace qf::index
