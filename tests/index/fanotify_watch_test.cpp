#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/fanotify.h>
#include <sys/stat.h>

#include "fanotify_watch.h"
#include "index_test_support.h"

namespace qf::index {
namespace {

namespace fs = std::filesystem;

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
