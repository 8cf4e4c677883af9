#include "actions/trash.h"

#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>

#include "support.h"

namespace qf::test {
namespace {

// Each test gets its own data home, so nothing reaches the real trash.
class TrashTest : public ::testing::Test {
protected:
    TempDir data_, work_;
    ScopedEnv xdg_{"XDG_DATA_HOME", data_.path()};
    std::string trash_ = data_ / "Trash";
};

bool recordsPath(const std::string& infoFile, const std::string& path) {
    return readFile(infoFile).find("\nPath=" + path + "\n") != std::string::npos;
}

std::string localDate(std::time_t t) {
    std::tm local{};
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", localtime_r(&t, &local));
    return text;
}

TEST(PercentEncodePath, KeepsSlashesAndUnreservedBytes) {
    const std::pair<const char*, const char*> cases[] = {
        {"/home/u/a-b_c.d~e", "/home/u/a-b_c.d~e"}, {"/tmp/a b", "/tmp/a%20b"},          {"/tmp/100%", "/tmp/100%25"},
        {"/tmp/照片", "/tmp/%E7%85%A7%E7%89%87"},   {"/tmp/a\nb#?", "/tmp/a%0Ab%23%3F"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(percentEncodePath(in), out);
}

TEST(HomeTrashFolder, FollowsXdgDataHome) {
    ScopedEnv home("HOME", std::string("/home/someone"));
    const std::pair<std::optional<std::string>, const char*> cases[] = {
        {"/x/data", "/x/data/Trash"},
        {std::nullopt, "/home/someone/.local/share/Trash"},
        {"rel/dir", "/home/someone/.local/share/Trash"},
    };
    for (const auto& [data, folder] : cases) {
        ScopedEnv xdg("XDG_DATA_HOME", data);
        EXPECT_EQ(homeTrashFolder(), folder);
    }
}

// Which trash an item of the home volume goes to is checked through the
// trash action; here the info file's form, with the local time.
TEST_F(TrashTest, TheInfoFileRecordsTheEncodedPathAndLocalTime) {
    const std::string item = work_ / "a b.txt";
    writeFile(item, "content");
    const std::time_t before = std::time(nullptr);
    ASSERT_FALSE(moveItemToTrash(item));
    const std::string info = readFile(trash_ + "/info/a b.txt.trashinfo");
    const std::string head = "[Trash Info]\nPath=" + percentEncodePath(item) + "\nDeletionDate=";
    EXPECT_TRUE(info == head + localDate(before) + "\n" || info == head + localDate(std::time(nullptr)) + "\n") << info;
    EXPECT_EQ(readFile(trash_ + "/files/a b.txt"), "content");
}

TEST_F(TrashTest, TakenNamesInFilesOrInfoGetTheNextName) {
    for (const char* folder : {"one", "two", "three"}) {
        ASSERT_EQ(mkdir((work_ / folder).c_str(), 0755), 0);
        writeFile(work_ / folder + "/photo.jpg", folder);
    }
    ASSERT_FALSE(moveItemToTrash(work_ / "one/photo.jpg"));
    writeFile(trash_ + "/files/photo.2.jpg", "stray");  // a file without its info
    ASSERT_FALSE(moveItemToTrash(work_ / "two/photo.jpg"));
    ASSERT_FALSE(moveItemToTrash(work_ / "three/photo.jpg"));
    EXPECT_EQ(readFile(trash_ + "/files/photo.jpg"), "one");
    EXPECT_EQ(readFile(trash_ + "/files/photo.2.jpg"), "stray");
    EXPECT_FALSE(exists(trash_ + "/info/photo.2.jpg.trashinfo"));
    EXPECT_EQ(readFile(trash_ + "/files/photo.3.jpg"), "two");
    EXPECT_TRUE(recordsPath(trash_ + "/info/photo.4.jpg.trashinfo", work_ / "three/photo.jpg"));
}

TEST_F(TrashTest, RefusesMissingItemsAndTheTrashItself) {
    EXPECT_EQ(moveItemToTrash(work_ / "gone"), std::errc::no_such_file_or_directory);
    EXPECT_FALSE(exists(trash_ + "/info/gone.trashinfo"));
    writeFile(work_ / "f", "");
    ASSERT_FALSE(moveItemToTrash(work_ / "f"));
    EXPECT_TRUE(moveItemToTrash(trash_ + "/files/f"));
    EXPECT_TRUE(exists(trash_ + "/files/f"));
    EXPECT_TRUE(moveItemToTrash(trash_));
    EXPECT_TRUE(exists(trash_ + "/info/f.trashinfo"));
}

// A trash at the top of another volume records paths relative to it.
TEST_F(TrashTest, TopFolderTrashRecordsARelativePath) {
    const TrashPlace place{work_ / ".Trash-test", work_.path()};
    ASSERT_EQ(mkdir((work_ / "docs").c_str(), 0755), 0);
    writeFile(work_ / "docs/r 1.pdf", "pdf");
    ASSERT_FALSE(trashInto(work_ / "docs/r 1.pdf", place));
    EXPECT_EQ(readFile(place.folder + "/files/r 1.pdf"), "pdf");
    EXPECT_TRUE(recordsPath(place.folder + "/info/r 1.pdf.trashinfo", "docs/r%201.pdf"));
    struct stat st {};
    ASSERT_EQ(stat(place.folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(TrashTest, AnotherVolumeUsesTheTrashAtItsTop) {
    const auto work = tempDirOnOtherVolume(data_.path());
    if (!work) GTEST_SKIP() << "needs a writable /dev/shm on its own file system";
    // /dev/shm is the top of its own file system; clean up what we add.
    const std::string own = "/dev/shm/.Trash-" + std::to_string(getuid());
    const bool hadOwn = exists(own);
    const auto place = trashPlaceFor(work->path());
    ASSERT_TRUE(place) << place.error().message();
    EXPECT_EQ(place->topFolder, "/dev/shm");
    EXPECT_TRUE(place->folder == own || place->folder == "/dev/shm/.Trash/" + std::to_string(getuid()));
    if (!hadOwn) std::filesystem::remove_all(own);
}

}  // namespace
}  // namespace qf::test
