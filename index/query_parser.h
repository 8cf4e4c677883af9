#pragma once
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "request.h"

namespace qf::index {

struct ParseError {
    std::string message;
};

// A query expression such as kMDItemFSName == '*.pdf'cd or
// kMDItemFSContentChangeDate >= $time.today(-1d). Text that is not an
// expression (no attribute and operator) asks for names containing it.
// `now` anchors the $time values in local time.
std::variant<Request, ParseError> parseQueryExpression(std::string_view text, std::time_t now);

// Local midnight `days` days from the day of `now` (negative: earlier).
std::time_t startOfLocalDay(std::time_t now, int days);

// Why a name-contains term cannot be searched, or nothing when it can. The
// service also refuses a term that folds to nothing (see the server), which
// mdfind cannot tell without the folding tables it does not load.
std::optional<ParseError> checkNameTerm(std::string_view term);

// "a/./b/../c/" -> "a/c": lexical, symbolic links are left alone.
std::string normalizeAbsolutePath(std::string_view path, const std::string& cwd);

}  // namespace qf::index
