#pragma once
#include <ctime>
#include <string>
#include <vector>

#include "base/expected.h"
#include "index/client/query_parser.h"

namespace qf::index {

// Everything mdfind was asked to do.
struct MdfindCommand {
    Request request;
    bool nulSeparated = false;
    bool startServiceOnly = false;
    bool help = false;
};

// `args` excludes the program name; `cwd` makes -onlyin folders absolute.
// Arguments that do not make a command are Errc::invalidInput.
Expected<MdfindCommand> parseMdfindArguments(const std::vector<std::string>& args, std::time_t now,
                                             const std::string& cwd);

}  // namespace qf::index
