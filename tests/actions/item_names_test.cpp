#include "actions/item_names.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "support.h"

namespace qf {
namespace {

using test::TempDir;
using test::writeFile;

TEST(SplitExtension, FollowsThePathExtensionRule) {
    struct Case {
        const char* name;
        const char* base;
        const char* extension;
    };
    const Case cases[] = {
        {"report.pdf", "report", "pdf"},
        {"Photos", "Photos", ""},
        {"My.app", "My", "app"},
        {"a.tar.gz", "a.tar", "gz"},
        {".profile", ".profile", ""},
        {"notes.", "notes.", ""},
        {"Draft v1.2 final", "Draft v1.2 final", ""},
        {"照片.JPG", "照片", "JPG"},
        {"/some/folder/x.y", "x", "y"},
        {"a..b", "a.", "b"},
    };
    for (const Case& c : cases) {
        const NameParts parts = splitExtension(c.name);
        EXPECT_EQ(parts.base, c.base) << c.name;
        EXPECT_EQ(parts.extension, c.extension) << c.name;
    }
}

TEST(CopyName, NumbersFromTheSecondCopyOn) {
    struct Case {
        const char* name;
        int n;
        const char* copy;
    };
    const Case cases[] = {
        {"report.pdf", 0, "report 副本.pdf"},  {"report.pdf", 1, "report 副本1.pdf"},
        {"report.pdf", 2, "report 副本2.pdf"}, {"report.pdf", 999, "report 副本999.pdf"},
        {"Photos", 0, "Photos 副本"},          {"Photos", 1, "Photos 副本1"},
        {"a.tar.gz", 10, "a.tar 副本10.gz"},
    };
    for (const Case& c : cases) EXPECT_EQ(copyName(splitExtension(c.name), c.n), c.copy) << c.name << " " << c.n;
}

TEST(ArchiveName, NumberFollowsBaseDirectly) {
    struct Case {
        const char* base;
        int n;
        const char* archive;
    };
    const Case cases[] = {{"report", 0, "report.zip"}, {"report", 1, "report1.zip"},
                          {"report", 1000, "report1000.zip"}, {"My", 0, "My.zip"}};
    for (const Case& c : cases) EXPECT_EQ(archiveName(c.base, c.n), c.archive);
}

TEST(FreeCopyPath, SkipsTakenNamesIncludingDanglingLinks) {
    TempDir dir;
    writeFile(dir / "notes.txt", "n");
    EXPECT_EQ(freeCopyPath(dir.path(), "notes.txt"), dir / "notes 副本.txt");
    writeFile(dir / "notes 副本.txt", "");
    EXPECT_EQ(freeCopyPath(dir.path(), "notes.txt"), dir / "notes 副本1.txt");
    ASSERT_EQ(symlink("/nonexistent", (dir / "notes 副本1.txt").c_str()), 0);
    EXPECT_EQ(freeCopyPath(dir.path(), "notes.txt"), dir / "notes 副本2.txt");
}

TEST(FreeCopyPath, AllTakenGivesTheLastName) {
    TempDir dir;
    const NameParts parts{"a", "txt"};
    for (int n = 0; n <= kMaxCopyNumber; ++n) writeFile(dir / copyName(parts, n), "");
    EXPECT_EQ(freeCopyPath(dir.path(), "a.txt"), dir / "a 副本999.txt");
}

TEST(FreeArchivePath, CountsFromOneAndStopsAtAThousand) {
    TempDir dir;
    EXPECT_EQ(freeArchivePath(dir.path(), "report.pdf"), dir / "report.zip");
    writeFile(dir / "report.zip", "");
    EXPECT_EQ(freeArchivePath(dir.path(), "report.pdf"), dir / "report1.zip");
    ASSERT_EQ(mkdir((dir / "My.app").c_str(), 0755), 0);
    EXPECT_EQ(freeArchivePath(dir.path(), "My.app"), dir / "My.zip");
    for (int n = 1; n <= kMaxArchiveNumber; ++n) writeFile(dir / archiveName("report", n), "");
    EXPECT_EQ(freeArchivePath(dir.path(), "report.pdf"), dir / "report1000.zip");
}

TEST(TrimWhitespaceAndNewlines, RemovesUnicodeSpaceAndBreaksAtBothEnds) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"  b.txt \n", "b.txt"},
        {"\t\r\nb.txt\u3000", "b.txt"},          // ideographic space
        {"\u00a0b c\u2028", "b c"},               // no-break space, line separator
        {"\u0085x\u2029", "x"},                   // next line, paragraph separator
        {"   ", ""},
        {"a  b", "a  b"},                         // inner spaces stay
        {"\u200bname", "\u200bname"},             // zero width space is not white space
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(trimWhitespaceAndNewlines(c.in), c.out) << c.in;
}

TEST(UnusableNameReason, RejectsNamesThatLeaveTheFolder) {
    const std::pair<std::string, bool> cases[] = {
        {"b.txt", false}, {"..b", false}, {"a b", false}, {"a/b", true},
        {"../x", true},   {".", true},    {"..", true},   {std::string("a\0b", 3), true},
    };
    for (const auto& [name, rejected] : cases) EXPECT_EQ(unusableNameReason(name).has_value(), rejected) << name;
}

}  // namespace
}  // namespace qf
