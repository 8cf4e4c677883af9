#pragma once
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/expected.h"
#include "index/client/request.h"

namespace qf::index {

// A query expression such as kMDItemFSName == '*.pdf'cd or
// kMDItemFSContentChangeDate >= $time.today(-1d). Text that is not an
// expression (no attribute and operator) asks for names containing it.
// `now` anchors the $time values in local time. What cannot be parsed is
// Errc::invalidInput, its context saying why.
Expected<Request> parseQueryExpression(std::string_view text, std::time_t now);

// Local midnight `days` days from the day of `now` (negative: earlier).
std::time_t startOfLocalDay(std::time_t now, int days);

// Fails with the reason when a name-contains term cannot be searched. The
// service also refuses a term that folds to nothing (see the server), which
// mdfind cannot tell without the folding tables it does not load.
Expected<void> checkNameTerm(std::string_view term);

// "a/./b/../c/" -> "a/c": lexical, symbolic links are left alone.
std::string normalizeAbsolutePath(std::string_view path, const std::string& cwd);

}  // namespace qf::index
