#pragma once
// The order of the result rows by one column.
#include <string>
#include <vector>

#include "core/hit.h"
#include "model/sort_key.h"

namespace qf {

// The direction a column takes when it is picked: names ascending, sizes and
// dates newest/largest first.
bool ascendingWhenPicked(SortKey key);

// The locale the user sorts names in (the collation locale of the session).
std::string userCollationLocale();

// Stable sort: rows the column does not tell apart keep their order, in both
// directions. Names compare like a file browser does: case ignored, digit runs
// by value, in the given locale's collation. Absent dates are the earliest.
void sortHits(std::vector<Hit>& hits, SortKey key, bool ascending, const std::string& locale);
void sortHits(std::vector<Hit>& hits, SortKey key, bool ascending);

}  // namespace qf
