#include <gtest/gtest.h>

#include <sys/sysmacros.h>

#include "index_test_support.h"
#include "mounts.h"

namespace qf::index {
namespace {

constexpr const char* kMountInfo =
    "21 26 0:20 / /proc rw,relatime - proc proc rw\n"
    "23 26 0:6 / /dev rw,relatime - devtmpfs devtmpfs rw\n"
    "26 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
    "27 26 0:24 / /mnt/my\\040disk ro,nosuid shared:5 master:2 - tmpfs tmpfs ro\n"
    "28 26 8:17 / /media/usb rw - vfat /dev/sdb1 rw\n"
    "29 26 0:50 / /net/share rw - nfs4 srv:/x rw\n"
    "30 26 0:60 / /home/u/remote rw,nosuid - fuse.sshfs u@h: rw\n"
    "31 26 254:0 /srv /srv-bind rw - ext4 /dev/vda rw\n"
    "garbage line\n";

TEST(MountsTest, ParsesMountInfo) {
  auto mounts = parseMountInfo(kMountInfo);
  ASSERT_EQ(mounts.size(), 8u);
  EXPECT_EQ(mounts[0].path, "/proc");
  EXPECT_EQ(mounts[0].fsType, "proc");
  EXPECT_EQ(mounts[2].device, makedev(254, 0));
  EXPECT_EQ(mounts[3].path, "/mnt/my disk");  // octal escape
  EXPECT_EQ(mounts[3].fsType, "tmpfs");       // optional fields skipped
  EXPECT_EQ(mounts[6].fsType, "fuse.sshfs");
}

TEST(MountsTest, PrunesPseudoAndNetworkFileSystems) {
  const std::pair<const char*, bool> cases[] = {
      {"proc", true}, {"sysfs", true}, {"devtmpfs", true}, {"cgroup2", true}, {"tmpfs", true},
      {"overlay", true}, {"nfs", true}, {"nfs4", true}, {"cifs", true}, {"fuse.sshfs", true},
      {"ext4", false}, {"btrfs", false}, {"xfs", false}, {"vfat", false}, {"fuseblk", false},
      {"ntfs3", false}, {"zfs", false}};
  for (auto [type, pruned] : cases) EXPECT_EQ(isPrunedFsType(type), pruned) << type;
}

TEST(MountsTest, PrunedDevicesComeFromTheTable) {
  auto devices = prunedDevices(parseMountInfo(kMountInfo));
  EXPECT_TRUE(devices.count(makedev(0, 20)));
  EXPECT_TRUE(devices.count(makedev(0, 50)));
  EXPECT_TRUE(devices.count(makedev(0, 60)));
  EXPECT_FALSE(devices.count(makedev(254, 0)));
  EXPECT_FALSE(devices.count(makedev(8, 17)));
}

TEST(MountsTest, RootsAreResolvedDeduplicatedAndNotNested) {
  testing::TempDir dir;
  std::filesystem::create_directories(dir / "a/b");
  std::filesystem::create_directories(dir / "c");
  std::filesystem::create_symlink(dir / "c", dir / "link");
  testing::touch(dir / "file");
  auto roots = resolveRoots({dir / "a/b", dir / "a", dir / "link", dir / "c/", dir / "missing",
                             dir / "file", ""});
  std::string base = std::filesystem::canonical(dir.path());
  EXPECT_EQ(roots, (std::vector<std::string>{base + "/a", base + "/c"}));
}

}  // namespace
}  // namespace qf::index
