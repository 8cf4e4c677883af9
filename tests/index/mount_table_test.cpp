#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>

#include "common/test_support.h"
#include "mount_table.h"

namespace qf::index {
namespace {

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

TEST(MountDiffTest, NetworkSettingLetsInOnlyNetworkFileSystems) {
    const MountPoint disk{"/", "ext4", makedev(8, 1), 1}, nfs{"/net", "nfs4", makedev(0, 50), 2},
        sshfs{"/ssh", "fuse.sshfs", makedev(0, 51), 3}, proc{"/proc", "proc", makedev(0, 52), 4},
        tmp{"/tmp", "tmpfs", makedev(0, 53), 5};
    const std::vector<MountPoint> mounts = {disk, nfs, sshfs, proc, tmp};
    using Devices = std::unordered_set<dev_t>;
    EXPECT_EQ(prunedDevices(mounts, false), (Devices{nfs.device, sshfs.device, proc.device, tmp.device}));
    EXPECT_EQ(prunedDevices(mounts, true), (Devices{proc.device, tmp.device}));
}

// In a private mount namespace of a child process: a mount and an unmount
// are each reported as a change and show in the diff.
int followMountsInChild(const std::string& dir) {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 77;
    MountTable table;
    if (!table.valid() || table.changed(0)) return 1;
    std::vector<MountPoint> before = table.read();
    if (before.empty()) return 2;
    if (::mount("qf-test", dir.c_str(), "tmpfs", 0, nullptr) != 0) return 77;
    if (!table.changed(1000)) return 3;
    std::vector<MountPoint> during = table.read();
    MountChanges up = diffMounts(before, during);
    if (up.mounted.size() != 1 || up.mounted[0].path != dir || up.mounted[0].fsType != "tmpfs" || !up.unmounted.empty())
        return 4;
    if (table.changed(0)) return 5;  // reported once
    if (::umount2(dir.c_str(), MNT_DETACH) != 0) return 6;
    if (!table.changed(1000)) return 7;
    MountChanges down = diffMounts(during, table.read());
    if (!down.mounted.empty() || down.unmounted.size() != 1 || down.unmounted[0].path != dir) return 8;
    return 0;
}

TEST(MountTableTest, FollowsMountsAndUnmounts) {
    qf::test::TempDir dir;
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(followMountsInChild(dir.path()));
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "mount namespaces are not permitted here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "step that failed in the child";
}

}  // namespace
}  // namespace qf::index
