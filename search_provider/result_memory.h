#pragma once
// The results handed out lately, by id, so that later calls (metas,
// activation) may name them. A caller's newest answer stays known until its
// next one, however many other callers are answered meanwhile; beyond those,
// the last `capacity` results handed out are known.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/hit.h"

namespace qf {

class ResultMemory {
public:
    // `pinnedCallers`: how many callers' newest answers are kept whatever
    // else comes; a caller beyond them (a script connecting once per call,
    // say) falls back to the common memory.
    explicit ResultMemory(std::size_t capacity = 500, std::size_t pinnedCallers = 64);

    void remember(const std::string& caller, const std::vector<Hit>& hits);
    // The hit with this id, or null when it is not known (any longer).
    const Hit* find(const std::string& id) const;
    // The caller's search session ended: what was handed last to it, and to
    // no caller after it, is forgotten.
    void forget(const std::string& caller);

private:
    struct Item {
        Hit hit;
        uint64_t used;           // when last handed out
        std::string lastCaller;  // to whom
        int pins = 0;            // newest answers holding it
    };
    void unpin(const std::string& caller);
    void erase(std::unordered_map<std::string, Item>::iterator it);
    void evict();

    const std::size_t capacity_, pinnedCallers_;
    uint64_t clock_ = 0;
    std::unordered_map<std::string, Item> items_;
    std::map<uint64_t, std::string> byUse_;  // oldest first
    std::size_t pinnedItems_ = 0;
    std::map<std::string, std::vector<std::string>> newest_;  // caller -> ids of its newest answer
    std::deque<std::string> pinOrder_;                        // callers, least recent first
};

}  // namespace qf
