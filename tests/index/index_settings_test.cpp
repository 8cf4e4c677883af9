#include <gtest/gtest.h>

#include <sys/stat.h>

#include "common/test_support.h"
#include "index_settings.h"

namespace qf::index {
namespace {

using Names = std::vector<std::string>;

IndexSettings with(Names roots, Names names, Names paths, bool hidden = true, bool network = false) {
    return {std::move(roots), std::move(names), std::move(paths), hidden, network};
}

TEST(SettingsParseTest, Parses) {
    const std::tuple<const char*, IndexSettings, std::vector<int>> cases[] = {
        {"", IndexSettings{}, {}},
        {"# only a comment\n\n   \n", IndexSettings{}, {}},
        {"roots = /home/me:/srv/data/ # two\nhidden = no\nnetwork = yes\n",
         with({"/home/me", "/srv/data"}, {}, {}, false, true),
         {}},
        {"roots=/a/./b/../c::\r\n", with({"/a/c"}, {}, {}), {}},
        {"exclude = node_modules .cache /home/me/tmp/ \"My Stuff\" a#b\nexclude = .git # vcs\n",
         with({}, {"node_modules", ".cache", "My Stuff", "a#b", ".git"}, {"/home/me/tmp"}),
         {}},
        // A later roots line replaces the earlier one; a bad line is ignored whole.
        {"roots = /a\nroots = /b\nroots = /c:relative\n", with({"/b"}, {}, {}), {3}},
        {"exclude = ok \"unterminated\nexclude = a/b\nexclude = \"\"\nexclude = \"x\"y\nexclude = in\"side\n"
         "exclude =\nexclude = ..\n",
         IndexSettings{},
         {1, 2, 3, 4, 5, 6, 7}},
        {"hidden = maybe\nnetwork = YES\ncolour = red\njust words\nroots =\nroots = :\nhidden = no\x1b[2J\n",
         IndexSettings{},
         {1, 2, 3, 4, 5, 6, 7}},
    };
    for (const auto& [text, expected, problemLines] : cases) {
        LoadedSettings loaded = parseIndexSettings(text);
        EXPECT_EQ(loaded.settings, expected) << text;
        std::vector<int> lines;
        for (const SettingsProblem& p : loaded.problems) {
            lines.push_back(p.line);
            EXPECT_FALSE(p.reason.empty());
            EXPECT_EQ(p.reason.find_first_of("\n\r\x1b"), std::string::npos) << p.reason;
        }
        EXPECT_EQ(lines, problemLines) << text;
    }
}

// Reading a real file: the service tests (SettingsProcessTest) load theirs.
TEST(SettingsFileTest, MissingAndUnreadableFiles) {
    qf::test::TempDir dir;
    LoadedSettings missing = loadIndexSettings(dir / "none.conf");
    EXPECT_EQ(missing.settings, IndexSettings{});
    EXPECT_TRUE(missing.problems.empty());

    // A FIFO must not block, a folder is not a file: defaults and one problem.
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    for (const std::string& odd : {dir / "fifo", dir.path()}) {
        LoadedSettings r = loadIndexSettings(odd);
        EXPECT_EQ(r.settings, IndexSettings{}) << odd;
        ASSERT_EQ(r.problems.size(), 1u) << odd;
        EXPECT_EQ(r.problems[0].line, 0) << odd;
    }
}

}  // namespace
}  // namespace qf::index
