#pragma once

namespace qf::index {

// How two names are compared: the c and d modifiers of a name query. Part
// of every request, so it lives apart from the folding that needs ICU.
struct FoldMode {
    bool ignoreCase = true;
    bool ignoreDiacritics = true;
    bool operator==(const FoldMode&) const = default;
};

}  // namespace qf::index
