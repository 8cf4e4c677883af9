#include "actions/item_names.h"

#include <unistd.h>

#include "support.h"

namespace qf {
namespace {

using test::TempDir;

TEST(SplitExtension, FollowsThePathExtensionRule) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"report.pdf", "report", "pdf"}, {"Photos", "Photos", ""},       {"a.tar.gz", "a.tar", "gz"},
        {".profile", ".profile", ""},    {"notes.", "notes.", ""},       {"Draft v1.2 final", "Draft v1.2 final", ""},
        {"照片.JPG", "照片", "JPG"},     {"/some/folder/x.y", "x", "y"}, {"a..b", "a.", "b"},
    };
    for (const auto& [name, base, extension] : cases) {
        const NameParts parts = splitExtension(name);
        EXPECT_EQ(parts.base, base) << name;
        EXPECT_EQ(parts.extension, extension) << name;
    }
}

// A dangling link takes its name too; copy names are checked through the
// duplicate action.
TEST(FreeArchivePath, SkipsADanglingLink) {
    TempDir dir;
    EXPECT_EQ(freeArchivePath(dir.path(), "report.pdf"), dir / "report.zip");
    ASSERT_EQ(symlink("/nonexistent", (dir / "report.zip").c_str()), 0);
    EXPECT_EQ(freeArchivePath(dir.path(), "report.pdf"), dir / "report1.zip");
}

TEST(TrimWhitespaceAndNewlines, RemovesUnicodeSpaceAndBreaksAtBothEnds) {
    const std::pair<const char*, const char*> cases[] = {
        {"  b.txt \n", "b.txt"},
        {"\t\r\nb.txt\u3000", "b.txt"},  // ideographic space
        {"\u00a0b c\u2028", "b c"},      // no-break space, line separator
        {"\u0085x\u2029", "x"},          // next line, paragraph separator
        {"   ", ""},
        {"a  b", "a  b"},              // inner spaces stay
        {"\u200bname", "\u200bname"},  // zero width space is not white space
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
