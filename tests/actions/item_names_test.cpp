#include "actions/item_names.h"

#include <sys/stat.h>

#include "support.h"

namespace qf {
namespace {

using test::TempDir;
using test::writeFile;

TEST(SplitExtension, FollowsThePathExtensionRule) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"report.pdf", "report", "pdf"},
        {"Photos", "Photos", ""},
        {"a.tar.gz", "a.tar", "gz"},
        {".profile", ".profile", ""},
        {"notes.", "notes.", ""},
        {"Draft v1.2 final", "Draft v1.2 final", ""},
        {"照片.JPG", "照片", "JPG"},
        {"/some/folder/x.y", "x", "y"},
        {"a..b", "a.", "b"},
    };
    for (const auto& [name, base, extension] : cases) {
        const NameParts parts = splitExtension(name);
        EXPECT_EQ(parts.base, base) << name;
        EXPECT_EQ(parts.extension, extension) << name;
    }
}

TEST(CopyAndArchiveNames, NumberFromTheSecondOn) {
    const std::tuple<const char*, int, const char*> copies[] = {
        {"Photos", 0, "Photos 副本"}, {"Photos", 1, "Photos 副本1"}, {"a.tar.gz", 999, "a.tar 副本999.gz"},
    };
    for (const auto& [name, n, copy] : copies) EXPECT_EQ(copyName(splitExtension(name), n), copy) << name << n;
    const std::tuple<const char*, int, const char*> archives[] = {
        {"report", 0, "report.zip"}, {"report", 1, "report1.zip"}, {"report", 1000, "report1000.zip"}};
    for (const auto& [base, n, archive] : archives) EXPECT_EQ(archiveName(base, n), archive);
}

TEST(FreeNames, SkipTakenNamesIncludingDanglingLinks) {
    TempDir dir;
    writeFile(dir / "notes.txt", "n");
    EXPECT_EQ(freeCopyPath(dir.path(), "notes.txt"), dir / "notes 副本.txt");
    writeFile(dir / "notes 副本.txt", "");
    EXPECT_EQ(freeCopyPath(dir.path(), "notes.txt"), dir / "notes 副本1.txt");
    ASSERT_EQ(symlink("/nonexistent", (dir / "notes 副本1.txt").c_str()), 0);
    EXPECT_EQ(freeCopyPath(dir.path(), "notes.txt"), dir / "notes 副本2.txt");

    EXPECT_EQ(freeArchivePath(dir.path(), "report.pdf"), dir / "report.zip");
    ASSERT_EQ(symlink("/nonexistent", (dir / "report.zip").c_str()), 0);
    EXPECT_EQ(freeArchivePath(dir.path(), "report.pdf"), dir / "report1.zip");
    ASSERT_EQ(mkdir((dir / "My.app").c_str(), 0755), 0);
    EXPECT_EQ(freeArchivePath(dir.path(), "My.app"), dir / "My.zip");
}

TEST(TrimWhitespaceAndNewlines, RemovesUnicodeSpaceAndBreaksAtBothEnds) {
    const std::pair<const char*, const char*> cases[] = {
        {"  b.txt \n", "b.txt"},
        {"\t\r\nb.txt\u3000", "b.txt"},  // ideographic space
        {"\u00a0b c\u2028", "b c"},       // no-break space, line separator
        {"\u0085x\u2029", "x"},           // next line, paragraph separator
        {"   ", ""},
        {"a  b", "a  b"},                 // inner spaces stay
        {"\u200bname", "\u200bname"},     // zero width space is not white space
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(trimWhitespaceAndNewlines(in), out) << in;
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
