// Mounted disks: the mount table, their changes and fanotify's view of them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/fanotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <unordered_set>

#include "index/service/fanotify_watch.h"
#include "index/service/mount_table.h"
#include "index/service/mounts.h"
#include "index_test_support.h"

namespace qf::index {
namespace {

using testing::TempDir;
namespace fs = std::filesystem;

TEST(MountsTest, ParsesMountInfo) {
    auto mounts = parseMountInfo(
        "21 26 0:20 / /proc rw,relatime - proc proc rw\n"
        "26 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
        "27 26 0:24 / /mnt/my\\040disk ro,nosuid shared:5 master:2 - tmpfs tmpfs ro\n"
        "30 26 0:60 / /home/u/remote rw,nosuid - fuse.sshfs u@h: rw\n"
        "31 26 0:61 / /mnt/end\\040 rw - ext4 /dev/sdc1 rw\n"
        "garbage line\n");
    ASSERT_EQ(mounts.size(), 5u);
    EXPECT_EQ(mounts[0].fsType, "proc");
    EXPECT_EQ(mounts[1].device, makedev(254, 0));
    EXPECT_EQ(mounts[2].path, "/mnt/my disk");  // octal escape
    EXPECT_EQ(mounts[2].fsType, "tmpfs");       // optional fields skipped
    EXPECT_EQ(mounts[2].mountId, 27);
    EXPECT_EQ(mounts[3].fsType, "fuse.sshfs");
    EXPECT_EQ(mounts[4].path, "/mnt/end ");  // an escape at the very end
}

TEST(MountsTest, RootsAreResolvedDeduplicatedAndNotNested) {
    TempDir dir;
    fs::create_directories(dir / "a/b");
    fs::create_directories(dir / "c");
    fs::create_symlink(dir / "c", dir / "link");
    testing::touch(dir / "file");
    std::string base = fs::canonical(dir.path());
    EXPECT_EQ(resolveRoots({dir / "a/b", dir / "a", dir / "link", dir / "c/", dir / "missing", dir / "file", ""}),
              (std::vector<std::string>{base + "/a", base + "/c"}));
}

std::vector<std::string> pathsOf(const std::vector<MountPoint>& mounts) {
    std::vector<std::string> out;
    for (const MountPoint& m : mounts) out.push_back(m.path + "#" + std::to_string(m.mountId));
    return out;
}

TEST(MountDiffTest, MountsAreKnownByTheirId) {
    const MountPoint root{"/", "ext4", makedev(254, 0), 1}, usb{"/media/usb", "vfat", makedev(8, 17), 40},
        usbAgain{"/media/usb", "vfat", makedev(8, 17), 41}, disk{"/mnt/disk", "ext4", makedev(8, 33), 42};
    using List = std::vector<MountPoint>;
    const std::tuple<List, List, std::vector<std::string>, std::vector<std::string>> cases[] = {
        {{root, usb}, {root, usb}, {}, {}},
        {{root}, {root, usb, disk}, {"/media/usb#40", "/mnt/disk#42"}, {}},
        {{root, usb, disk}, {root}, {}, {"/media/usb#40", "/mnt/disk#42"}},
        // Unmounted and mounted again between two readings: same device and path, new id.
        {{root, usb}, {root, usbAgain}, {"/media/usb#41"}, {"/media/usb#40"}},
    };
    for (const auto& [before, after, mounted, unmounted] : cases) {
        MountChanges d = diffMounts(before, after);
        EXPECT_EQ(pathsOf(d.mounted), mounted);
        EXPECT_EQ(pathsOf(d.unmounted), unmounted);
    }
}

// Pseudo file systems are always left out, network ones unless asked for.
TEST(MountDiffTest, NetworkSettingLetsInOnlyNetworkFileSystems) {
    const MountPoint disk{"/", "ext4", makedev(8, 1), 1}, nfs{"/net", "nfs4", makedev(0, 50), 2},
        sshfs{"/ssh", "fuse.sshfs", makedev(0, 51), 3}, proc{"/proc", "proc", makedev(0, 52), 4},
        tmp{"/tmp", "tmpfs", makedev(0, 53), 5};
    const std::vector<MountPoint> mounts = {disk, nfs, sshfs, proc, tmp};
    using Devices = std::unordered_set<dev_t>;
    EXPECT_EQ(prunedDevices(mounts, false), (Devices{nfs.device, sshfs.device, proc.device, tmp.device}));
    EXPECT_EQ(prunedDevices(mounts, true), (Devices{proc.device, tmp.device}));
}

// A change's folder key names its folder only while that folder exists on a
// mounted disk: a removed folder has no path, and once the disk is gone the
// mount point's own file system may hold an unrelated folder with that handle.
TEST(FanotifyWatchTest, FolderKeysNameFoldersOnlyWhileTheyExist) {
    testing::TempDir dir;
    testing::LoopDisk disk(dir / "disk.img", dir / "mnt");
    if (!disk.skipReason().empty()) GTEST_SKIP() << disk.skipReason();
    ASSERT_TRUE(disk.mount());
    const std::string mnt = fs::canonical(dir / "mnt");
    FanotifyWatch w;
    UniqueFd fd(::open(mnt.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    ASSERT_EQ(::fstat(fd.get(), &st), 0);
    if (!w.valid() || !w.cover(fd.get(), st.st_dev)) GTEST_SKIP() << "fanotify file-system marks need CAP_SYS_ADMIN";
    fd.reset();
    testing::touch(mnt + "/folder/sub/Réport.txt");
    testing::touch(mnt + "/seen.txt");
    std::map<std::string, std::string> keys;  // created name -> its folder key
    ASSERT_TRUE(testing::pollUntil([&] {
        bool overflow = false;
        for (const FanotifyWatch::Change& c : w.read(overflow))
            if (c.mask & FAN_CREATE) keys[c.name] = c.folderKey;
        return keys.count("Réport.txt") && keys.count("seen.txt");
    }));
    EXPECT_EQ(w.folderPath(keys["Réport.txt"]), mnt + "/folder/sub");
    fs::remove_all(mnt + "/folder/sub");
    EXPECT_EQ(w.folderPath(keys["Réport.txt"]), std::nullopt) << "removed";
    EXPECT_EQ(w.folderPath(keys["seen.txt"]), mnt);
    ASSERT_TRUE(disk.unmount()) << "the watch keeps the disk busy";
    EXPECT_EQ(w.folderPath(keys["seen.txt"]), std::nullopt) << "unmounted";
}

}  // namespace
}  // namespace qf::index
