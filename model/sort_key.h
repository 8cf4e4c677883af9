#pragma once

namespace qf {

enum class SortKey { name, size, date, created };

}  // namespace qf
