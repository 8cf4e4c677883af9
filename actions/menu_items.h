#pragma once
// The row menu's items, top to bottom, as data: the window builds its menu
// from this list, so the order and the texts live in one place.
#include <span>
#include <string_view>

#include "actions/file_actions.h"

namespace qf {

struct MenuItem {
    std::string_view title;                   // empty for a divider
    void (FileActions::*action)(const Hit&);  // null for a divider
    bool isDivider() const { return action == nullptr; }
};

std::span<const MenuItem> rowMenuItems();

}  // namespace qf
