#include "actions/terminal_command.h"

#include <array>

namespace qf {
namespace {

enum class Style { equalsOption, separateOption, none };

struct TerminalKind {
    std::string_view name;
    std::string_view option;
    Style style;
};

constexpr std::array kTerminals{
    TerminalKind{"gnome-terminal", "--working-directory", Style::equalsOption},
    TerminalKind{"gnome-terminal.wrapper", "--working-directory", Style::equalsOption},
    TerminalKind{"konsole", "--workdir", Style::separateOption},
    TerminalKind{"xfce4-terminal", "--working-directory", Style::equalsOption},
    TerminalKind{"xfce4-terminal.wrapper", "--working-directory", Style::equalsOption},
    TerminalKind{"mate-terminal", "--working-directory", Style::equalsOption},
    TerminalKind{"mate-terminal.wrapper", "--working-directory", Style::equalsOption},
    TerminalKind{"tilix", "--working-directory", Style::equalsOption},
    TerminalKind{"terminator", "--working-directory", Style::equalsOption},
    TerminalKind{"lxterminal", "--working-directory", Style::equalsOption},
    TerminalKind{"qterminal", "--workdir", Style::separateOption},
    TerminalKind{"alacritty", "--working-directory", Style::separateOption},
    TerminalKind{"kitty", "--directory", Style::separateOption},
    TerminalKind{"foot", "--working-directory", Style::equalsOption},
    TerminalKind{"urxvt", "-cd", Style::separateOption},
    TerminalKind{"rxvt-unicode", "-cd", Style::separateOption},
    TerminalKind{"xterm", "", Style::none},
};

constexpr std::array<std::string_view, 14> kSearchOrder{
    "gnome-terminal", "konsole",   "xfce4-terminal", "mate-terminal", "tilix", "terminator", "lxterminal",
    "qterminal",      "alacritty", "kitty",          "wezterm",       "foot",  "urxvt",      "xterm"};

}  // namespace

std::vector<std::string> terminalCandidates(const char* terminalEnv) {
    std::vector<std::string> out;
    if (terminalEnv && *terminalEnv) out.emplace_back(terminalEnv);
    out.emplace_back("x-terminal-emulator");
    out.insert(out.end(), kSearchOrder.begin(), kSearchOrder.end());
    return out;
}

std::vector<std::string> terminalArguments(std::string_view program, const std::string& folder) {
    if (program == "wezterm") return {"start", "--cwd", folder};
    for (const auto& t : kTerminals) {
        if (t.name != program) continue;
        switch (t.style) {
            case Style::equalsOption:
                return {std::string(t.option) + "=" + folder};
            case Style::separateOption:
                return {std::string(t.option), folder};
            case Style::none:
                return {};
        }
    }
    return {};
}

}  // namespace qf
