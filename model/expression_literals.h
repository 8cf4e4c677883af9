#pragma once
// Which letter and digit runs of a regular expression a matching name must
// contain, so they can be looked up in the index.
#include <string>
#include <string_view>
#include <vector>

namespace qf {

// The expression with everything that is not mandatory name text replaced by
// spaces: escapes (\d, \w, \b, \p{L}, \x41 ...; their letters are syntax, not
// name text), bracket classes (they match one of their characters, not the
// run), group syntax ((?i), (?<name>, (?#...)), and atoms made optional by
// ?, * or {0,...}. Alternatives are kept: the index answers are intersected.
std::string blankNonLiterals(std::string_view expression);

// The letter and digit runs of what blankNonLiterals keeps.
std::vector<std::string> requiredLiterals(std::string_view expression);

}  // namespace qf
