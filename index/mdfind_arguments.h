#pragma once
#include <ctime>
#include <string>
#include <variant>
#include <vector>

#include "query_parser.h"

namespace qf::index {

// Everything mdfind was asked to do.
struct MdfindCommand {
    Request request;
    bool nulSeparated = false;
    bool startServiceOnly = false;
    bool help = false;
};

// `args` excludes the program name; `cwd` makes -onlyin folders absolute.
std::variant<MdfindCommand, ParseError> parseMdfindArguments(const std::vector<std::string>& args, std::time_t now,
                                                             const std::string& cwd);

}  // namespace qf::index
