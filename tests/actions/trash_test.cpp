#include "actions/trash.h"

#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <regex>

#include "support.h"

namespace qf {
namespace {

using test::exists;
using test::readFile;
using test::ScopedEnv;
using test::TempDir;
using test::writeFile;

// Each test gets its own data home, so nothing reaches the real trash.
class TrashTest : public ::testing::Test {
protected:
    TempDir data_, work_;
    ScopedEnv xdg_{"XDG_DATA_HOME", data_.path()};
    std::string trash_ = data_ / "Trash";
};

std::string pathLine(const std::string& info) {
    std::smatch m;
    return std::regex_search(info, m, std::regex("\nPath=([^\n]*)\n")) ? m[1].str() : "";
}

std::time_t deletionTime(const std::string& info) {
    std::smatch m;
    std::tm t{};
    if (!std::regex_search(info, m, std::regex("\nDeletionDate=(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d)\n")) ||
        !strptime(m[1].str().c_str(), "%Y-%m-%dT%H:%M:%S", &t)) {
        return -1;
    }
    t.tm_isdst = -1;
    return std::mktime(&t);  // the date is local time
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
// trash action; here the info file's form.
TEST_F(TrashTest, TheInfoFileRecordsTheEncodedPathAndLocalTime) {
    const std::string item = work_ / "a b.txt";
    writeFile(item, "content");
    const std::time_t before = std::time(nullptr);
    ASSERT_FALSE(moveItemToTrash(item));
    const std::time_t after = std::time(nullptr);
    EXPECT_EQ(readFile(trash_ + "/files/a b.txt"), "content");
    const std::string info = readFile(trash_ + "/info/a b.txt.trashinfo");
    EXPECT_EQ(info.rfind("[Trash Info]\n", 0), 0u) << info;
    EXPECT_EQ(pathLine(info), percentEncodePath(item));
    const std::time_t when = deletionTime(info);
    EXPECT_GE(when, before - 1);
    EXPECT_LE(when, after + 1);
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
    EXPECT_EQ(pathLine(readFile(trash_ + "/info/photo.4.jpg.trashinfo")), work_ / "three/photo.jpg");
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

TEST_F(TrashTest, TopFolderTrashRecordsARelativePath) {
    // A trash at the top of another volume records paths relative to it.
    const TrashPlace place{work_ / ".Trash-test", work_.path()};
    ASSERT_EQ(mkdir((work_ / "docs").c_str(), 0755), 0);
    writeFile(work_ / "docs/r 1.pdf", "pdf");
    ASSERT_FALSE(trashInto(work_ / "docs/r 1.pdf", place));
    EXPECT_EQ(readFile(place.folder + "/files/r 1.pdf"), "pdf");
    EXPECT_EQ(pathLine(readFile(place.folder + "/info/r 1.pdf.trashinfo")), "docs/r%201.pdf");
    struct stat st {};
    ASSERT_EQ(stat(place.folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(TrashOtherVolume, UsesTrashAtTheTopOfThatVolume) {
    struct stat shm {
    }, tmp{};
    TempDir data;
    if (stat("/dev/shm", &shm) != 0 || access("/dev/shm", W_OK) != 0 || stat(data.path().c_str(), &tmp) != 0 ||
        shm.st_dev == tmp.st_dev) {
        GTEST_SKIP() << "needs a writable /dev/shm on its own file system";
    }
    // /dev/shm is the top of its own file system; clean up what we add.
    const std::string own = "/dev/shm/.Trash-" + std::to_string(getuid());
    const bool hadOwn = exists(own);
    ScopedEnv xdg("XDG_DATA_HOME", data.path());
    ScopedEnv tmpdir("TMPDIR", std::string("/dev/shm"));
    TempDir work;
    writeFile(work / "f.txt", "x");
    const auto place = trashPlaceFor(work / "f.txt");
    ASSERT_TRUE(place) << place.error().message();
    EXPECT_EQ(place->topFolder, "/dev/shm");
    EXPECT_TRUE(place->folder == own || place->folder == "/dev/shm/.Trash/" + std::to_string(getuid()));
    if (!hadOwn) std::filesystem::remove_all(own);
}

}  // namespace
}  // namespace qf
