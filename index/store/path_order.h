#pragma once
// Answers in byte order of their paths. Every reader of an answer sorts or
// intersects it; an answer that arrives sorted spares each of them the sort,
// and here the tree makes it cheap: only the names within one folder are
// compared, never whole paths.
#include <cstdint>
#include <string_view>
#include <vector>

#include "index/store/index_store.h"

namespace qf::index {

// Reorders `ids` (live entries, each once) so that their paths ascend
// bytewise. Roots nested inside another root's tree may leave the answer
// out of order there; readers check the order before relying on it. Large
// answers are ordered on up to `threads` threads.
void sortByPath(const IndexStore& store, std::vector<uint32_t>& ids, unsigned threads = 1);

// The first eight bytes of a name as one number, zero-padded: numbers
// compare as the names' heads do, so most pairs of names are told apart
// without reading them again.
uint64_t nameHead(std::string_view name);

}  // namespace qf::index
