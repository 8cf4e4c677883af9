#pragma once
// Which terminal emulators are tried, in order, and how each is told the
// folder to start in. The folder always travels as its own argument (or as
// the working directory), never inside a shell command.
#include <string>
#include <string_view>
#include <vector>

namespace qf {

// $TERMINAL when set, then x-terminal-emulator, then the common terminals.
std::vector<std::string> terminalCandidates(const char* terminalEnv);
// The arguments that make the terminal named `program` (its file name,
// after resolving links such as x-terminal-emulator) open in `folder`.
// Terminals without such an option get none and rely on the working
// directory they are started in.
std::vector<std::string> terminalArguments(std::string_view program, const std::string& folder);

}  // namespace qf
