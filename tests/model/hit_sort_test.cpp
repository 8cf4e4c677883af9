#include <gtest/gtest.h>

#include "model/hit_sort.h"

namespace qf {
namespace {

using Strings = std::vector<std::string>;

Hit hit(const std::string& name, std::int64_t size = 0, std::optional<Date> modified = {},
        std::optional<Date> created = {}) {
    return Hit("/t/" + name, name, size < 0, size, modified, created, "文件");
}

std::vector<Hit> named(const Strings& names) {
    std::vector<Hit> hits;
    for (const auto& name : names) hits.push_back(hit(name));
    return hits;
}

const std::vector<Hit> kSized{hit("x", 10), hit("big", 99), hit("y", 10), hit("dir", -1)};
// modified: old 100, new 300, none absent, same 100; created the other way.
const std::vector<Hit> kDated{hit("old", 1, 100.0, 300.0), hit("none", 1), hit("new", 1, 300.0, 100.5),
                              hit("same", 1, 100.0, 300.0)};

Strings namesOf(const std::vector<Hit>& hits) {
    Strings names;
    for (const auto& h : hits) names.push_back(h.name());
    return names;
}

TEST(SortHits, OrdersTheRowsStably) {
    // Enough rows of two sizes for an unstable sort to mix up equal ones:
    // the odd ones (size 1) first, each half in its original order.
    std::vector<Hit> alternating;
    Strings odd, even;
    for (int i = 0; i < 60; ++i) {
        alternating.push_back(hit("n" + std::to_string(100 + i), i % 2));
        (i % 2 ? odd : even).push_back(alternating.back().name());
    }
    odd.insert(odd.end(), even.begin(), even.end());
    // Key, ascending, locale, rows, their names once sorted.
    const std::tuple<SortKey, bool, const char*, std::vector<Hit>, Strings> cases[] = {
        // Names like a file browser: digit runs by value, case ignored.
        {SortKey::name, true, "en_US", named({"Report10", "report2", "Report1"}), {"Report1", "report2", "Report10"}},
        // Names equal but for case keep their order.
        {SortKey::name, true, "en_US", named({"Readme", "README", "readme"}), {"Readme", "README", "readme"}},
        // Accents count: they are not case. The locale decides where ö goes.
        {SortKey::name, true, "en_US", named({"resume", "résumé", "resume"}), {"resume", "resume", "résumé"}},
        {SortKey::name, true, "sv_SE", named({"zebra", "öl", "ost"}), {"ost", "zebra", "öl"}},
        // Equal sizes keep their order in both directions; folders are -1.
        {SortKey::size, true, "en_US", kSized, {"dir", "x", "y", "big"}},
        {SortKey::size, false, "en_US", kSized, {"big", "x", "y", "dir"}},
        {SortKey::size, false, "en_US", alternating, odd},
        // Absent dates are the earliest.
        {SortKey::date, true, "en_US", kDated, {"none", "old", "same", "new"}},
        {SortKey::date, false, "en_US", kDated, {"new", "old", "same", "none"}},
        {SortKey::created, false, "en_US", kDated, {"old", "same", "new", "none"}},
    };
    for (const auto& [key, ascending, locale, input, expected] : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(key)) + (ascending ? " ascending " : " descending ") + locale);
        std::vector<Hit> hits = input;
        sortHits(hits, key, ascending, locale);
        EXPECT_EQ(namesOf(hits), expected);
    }
}

}  // namespace
}  // namespace qf
