#include "actions/terminal_command.h"

#include <gtest/gtest.h>

namespace qf {
namespace {

using Args = std::vector<std::string>;

TEST(TerminalArguments, EachTerminalGetsTheFolderAsItsOwnArgument) {
    const std::string folder = "/tmp/a b'$(rm -rf x)";
    const std::pair<const char*, Args> cases[] = {
        {"gnome-terminal", {"--working-directory=" + folder}},
        {"gnome-terminal.wrapper", {"--working-directory=" + folder}},
        {"konsole", {"--workdir", folder}},
        {"xfce4-terminal", {"--working-directory=" + folder}},
        {"alacritty", {"--working-directory", folder}},
        {"kitty", {"--directory", folder}},
        {"wezterm", {"start", "--cwd", folder}},
        {"urxvt", {"-cd", folder}},
        {"xterm", {}},
        {"some-unknown-terminal", {}},
    };
    for (const auto& [program, args] : cases) EXPECT_EQ(terminalArguments(program, folder), args) << program;
}

TEST(TerminalCandidates, EnvironmentFirstThenDebianAlternativeThenKnownOnes) {
    const Args plain = terminalCandidates(nullptr);
    ASSERT_GE(plain.size(), 3u);
    EXPECT_EQ(plain.front(), "x-terminal-emulator");
    EXPECT_EQ(plain.back(), "xterm");
    EXPECT_EQ(terminalCandidates(""), plain);
    const Args withEnv = terminalCandidates("foot");
    ASSERT_EQ(withEnv.size(), plain.size() + 1);
    EXPECT_EQ(withEnv.front(), "foot");
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), withEnv.begin() + 1));
    // Every terminal tried knows how to start in the folder, or is xterm-like.
    for (const auto& name : plain) {
        if (name == "x-terminal-emulator" || name == "xterm") continue;
        EXPECT_FALSE(terminalArguments(name, "/f").empty()) << name;
    }
}

}  // namespace
}  // namespace qf
