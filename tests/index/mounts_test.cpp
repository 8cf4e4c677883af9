#include <gtest/gtest.h>

#include <sys/sysmacros.h>

#include "index_test_support.h"
#include "mounts.h"

namespace qf::index {
namespace {

using testing::TempDir;

TEST(MountsTest, ParsesMountInfoAndPrunesPseudoAndNetworkFileSystems) {
    auto mounts = parseMountInfo(
        "21 26 0:20 / /proc rw,relatime - proc proc rw\n"
        "26 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
        "27 26 0:24 / /mnt/my\\040disk ro,nosuid shared:5 master:2 - tmpfs tmpfs ro\n"
        "28 26 8:17 / /media/usb rw - vfat /dev/sdb1 rw\n"
        "29 26 0:50 / /net/share rw - nfs4 srv:/x rw\n"
        "30 26 0:60 / /home/u/remote rw,nosuid - fuse.sshfs u@h: rw\n"
        "garbage line\n");
    ASSERT_EQ(mounts.size(), 6u);
    EXPECT_EQ(mounts[0].fsType, "proc");
    EXPECT_EQ(mounts[1].device, makedev(254, 0));
    EXPECT_EQ(mounts[2].path, "/mnt/my disk");  // octal escape
    EXPECT_EQ(mounts[2].fsType, "tmpfs");       // optional fields skipped
    EXPECT_EQ(mounts[2].mountId, 27);
    EXPECT_EQ(mounts[5].fsType, "fuse.sshfs");
    // Which devices a list of mounts prunes: MountDiffTest.NetworkSettingLetsInOnlyNetworkFileSystems.
    for (const char* type : {"sysfs", "cgroup2", "overlay", "nfs", "cifs"}) EXPECT_TRUE(isPrunedFsType(type)) << type;
    for (const char* type : {"btrfs", "xfs", "fuseblk", "ntfs3", "zfs"}) EXPECT_FALSE(isPrunedFsType(type)) << type;
}

TEST(MountsTest, RootsAreResolvedDeduplicatedAndNotNested) {
    TempDir dir;
    std::filesystem::create_directories(dir / "a/b");
    std::filesystem::create_directories(dir / "c");
    std::filesystem::create_symlink(dir / "c", dir / "link");
    testing::touch(dir / "file");
    std::string base = std::filesystem::canonical(dir.path());
    EXPECT_EQ(resolveRoots({dir / "a/b", dir / "a", dir / "link", dir / "c/", dir / "missing", dir / "file", ""}),
              (std::vector<std::string>{base + "/a", base + "/c"}));
}

}  // namespace
}  // namespace qf::index
