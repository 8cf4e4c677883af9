// trash and compress, on real files with the real Trash and ditto.
#include <sys/stat.h>
#include <unistd.h>

#include "actions/archiver.h"
#include "actions/item_names.h"
#include "actions_fixture.h"
#include "zip_reader.h"

namespace qf {
namespace {

using test::ActionsTest;
using test::exists;
using test::readFile;
using test::writeFile;

TEST_F(ActionsTest, TrashConfirmationTextsButtonsAndStyle) {
    writeFile(dir_ / "a.txt", "a");
    actions_.trash(hit(dir_ / "a.txt"));  // the fake answers 取消
    ASSERT_EQ(desktop_.alerts.size(), 1u);
    const AlertRequest& confirm = desktop_.alerts[0];
    EXPECT_EQ(confirm.title, "移到废纸篓？");
    EXPECT_EQ(confirm.detail, "「a.txt」将移到废纸篓，可在废纸篓中恢复。");
    EXPECT_EQ(confirm.buttons, (std::vector<std::string>{"确定", "取消"}));
    EXPECT_EQ(confirm.style, AlertStyle::warning);
    EXPECT_EQ(desktop_.calls, std::vector<std::string>{"alert 移到废纸篓？"});
    EXPECT_TRUE(exists(dir_ / "a.txt"));
    EXPECT_FALSE(refreshed());
}

TEST_F(ActionsTest, TrashAfterYesMovesToTheTrashAndRefreshes) {
    writeFile(dir_ / "a.txt", "a");
    desktop_.alertAnswers = {kFirstButton};
    actions_.trash(hit(dir_ / "a.txt"));
    EXPECT_FALSE(exists(dir_ / "a.txt"));
    EXPECT_EQ(readFile(trashFolder() + "/files/a.txt"), "a");
    EXPECT_NE(readFile(trashFolder() + "/info/a.txt.trashinfo").find("\nPath=" + dir_ / "a.txt" + "\n"),
              std::string::npos);
    EXPECT_EQ(desktop_.alerts.size(), 1u);
    EXPECT_TRUE(refreshed());
}

TEST_F(ActionsTest, TrashFailureShowsTheReason) {
    desktop_.alertAnswers = {kFirstButton};
    actions_.trash(hit(dir_ / "gone.txt"));
    ASSERT_EQ(desktop_.alerts.size(), 2u);
    EXPECT_EQ(desktop_.alerts[1].title, "删除失败");
    EXPECT_EQ(desktop_.alerts[1].detail, std::make_error_code(std::errc::no_such_file_or_directory).message());
    EXPECT_EQ(desktop_.alerts[1].buttons, std::vector<std::string>{"好"});
    EXPECT_FALSE(refreshed());
}

class CompressTest : public ActionsTest {
protected:
    void SetUp() override {
        if (access((test::binDir() + "/ditto").c_str(), X_OK) != 0) GTEST_SKIP() << "no ditto in QF_BIN_DIR";
    }
    std::vector<std::string> topNames(const std::string& archive) {
        std::vector<std::string> names;
        for (const auto& e : test::readZipDirectory(archive)) names.push_back(e.name);
        return names;
    }
};

TEST_F(CompressTest, RunsDittoWithSixArgumentsOnAFreeName) {
    writeFile(dir_ / "report.pdf", "pdf");
    writeFile(dir_ / "report.zip", "older archive");
    actions_.compress(hit(dir_ / "report.pdf"));
    ASSERT_EQ(desktop_.programs.size(), 1u);
    EXPECT_EQ(desktop_.programs[0],
              (std::vector<std::string>{test::binDir() + "/ditto", "-c", "-k", "--sequesterRsrc", "--keepParent",
                                        dir_ / "report.pdf", dir_ / "report1.zip"}));
    EXPECT_EQ(topNames(dir_ / "report1.zip"), std::vector<std::string>{"report.pdf"});
    EXPECT_EQ(readFile(dir_ / "report.zip"), "older archive");
    EXPECT_TRUE(desktop_.alerts.empty());
    EXPECT_TRUE(refreshed());
}

TEST_F(CompressTest, SameBaseTwiceAndFolders) {
    writeFile(dir_ / "notes.txt", "t");
    writeFile(dir_ / "notes.md", "m");
    ASSERT_EQ(mkdir((dir_ / "My.app").c_str(), 0755), 0);
    writeFile(dir_ / "My.app/Info.plist", "p");
    actions_.compress(hit(dir_ / "notes.txt"));
    actions_.compress(hit(dir_ / "notes.md"));
    actions_.compress(hit(dir_ / "My.app"));
    EXPECT_EQ(topNames(dir_ / "notes.zip"), std::vector<std::string>{"notes.txt"});
    EXPECT_EQ(topNames(dir_ / "notes1.zip"), std::vector<std::string>{"notes.md"});
    EXPECT_EQ(topNames(dir_ / "My.zip"), (std::vector<std::string>{"My.app/", "My.app/Info.plist"}));
    EXPECT_TRUE(desktop_.alerts.empty());
}

TEST_F(CompressTest, AllNamesTakenNeverOverwritesTheLast) {
    writeFile(dir_ / "r.txt", "r");
    writeFile(dir_ / "r.zip", "0");
    for (int n = 1; n <= kMaxArchiveNumber; ++n) writeFile(dir_ / archiveName("r", n), std::to_string(n));
    actions_.compress(hit(dir_ / "r.txt"));
    ASSERT_EQ(desktop_.programs.size(), 1u);
    EXPECT_EQ(desktop_.programs[0].back(), dir_ / "r1000.zip");
    ASSERT_EQ(desktop_.alerts.size(), 1u);
    EXPECT_EQ(desktop_.alerts[0].title, "压缩失败");
    EXPECT_EQ(desktop_.alerts[0].detail.rfind("ditto 退出码 ", 0), 0u);
    EXPECT_EQ(readFile(dir_ / "r1000.zip"), "1000");
    EXPECT_FALSE(refreshed());
}

TEST_F(ActionsTest, CompressReportsTheArchiversStatusOrStartFailure) {
    struct Case {
        ProgramResult result;
        std::string detail;
    };
    const Case cases[] = {
        {{true, "", 1}, "ditto 退出码 1"},
        {{true, "", 139}, "ditto 退出码 139"},
        {{true, "", -3}, "ditto 退出码 -3"},
        {{false, "No such file or directory: /x/ditto", -1}, "No such file or directory: /x/ditto"},
    };
    writeFile(dir_ / "a.txt", "a");
    for (const Case& c : cases) {
        desktop_.alerts.clear();
        desktop_.programAnswer = c.result;
        actions_.compress(hit(dir_ / "a.txt"));
        ASSERT_EQ(desktop_.alerts.size(), 1u);
        EXPECT_EQ(desktop_.alerts[0].title, "压缩失败");
        EXPECT_EQ(desktop_.alerts[0].detail, c.detail);
        EXPECT_EQ(desktop_.alerts[0].buttons, std::vector<std::string>{"好"});
    }
    EXPECT_FALSE(refreshed());
}

}  // namespace
}  // namespace qf
