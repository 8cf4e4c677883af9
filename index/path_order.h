#pragma once
// Answers in byte order of their paths. Every reader of an answer sorts or
// intersects it; an answer that arrives sorted spares each of them the sort,
// and here the tree makes it cheap: only the names within one folder are
// compared, never whole paths.
#include <cstdint>
#include <vector>

#include "index_store.h"

namespace qf::index {

// Reorders `ids` (live entries, each once) so that their paths ascend
// bytewise. Roots nested inside another root's tree may leave the answer
// out of order there; readers check the order before relying on it. Large
// answers are ordered on up to `threads` threads.
void sortByPath(const IndexStore& store, std::vector<uint32_t>& ids, unsigned threads = 1);

}  // namespace qf::index
