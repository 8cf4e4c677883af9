// The quillfind command. Dump mode, --help and --version are answered here, by a
// program that loads only the search core; anything else runs the window
// program, which brings the whole desktop stack (Qt's widgets, D-Bus,
// graphics) whose loading would otherwise be most of a dump's time.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/display_check.h"
#include "core/dump.h"
#include "protocol/build_info.h"
#include "protocol/helper_programs.h"

namespace {

constexpr const char* kWindowProgram = "quillfind-window";

constexpr const char* kUsage =
    "usage: quillfind [--help | --version]\n"
    "\n"
    "Opens the Quillfind window, or brings the open one to the front, and\n"
    "finds files and folders by name as you type.\n"
    "\n"
    "  --help       print this text and exit\n"
    "  --version    print the version and exit\n"
    "\n"
    "Without a display, QUILLFIND_DUMP=1 QUILLFIND_QUERY=WORDS quillfind\n"
    "prints the matching paths on standard error. See quillfind(1).\n";

}  // namespace

int main(int argc, char** argv) {
    if (qf::dumpModeSelected(std::getenv("QUILLFIND_DUMP"))) qf::dumpSync();
    // Answered before any connection to a display is made, so they work
    // over SSH too. No other argument is read.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quillfind %s\n", qf::build::kVersion);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    if (auto missing = qf::missingDisplayMessage(qf::currentDisplayEnvironment())) {
        std::fprintf(stderr, "%s\n", missing->c_str());
        return 1;
    }
    const std::string window = qf::protocol::findHelperProgram(kWindowProgram);
    if (window.empty()) {
        std::fprintf(stderr, "quillfind: the window program %s is not installed beside this command\n", kWindowProgram);
        return 1;
    }
    // The same arguments, argv[0] included, so the window knows itself by
    // the command's name.
    ::execv(window.c_str(), argv);
    std::fprintf(stderr, "quillfind: cannot start %s: %s\n", window.c_str(), std::strerror(errno));
    return 1;
}
