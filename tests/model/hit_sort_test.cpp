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

// Enough rows of two sizes for an unstable sort to mix up equal ones.
std::vector<Hit> alternating(int count, int parity = -1) {
    std::vector<Hit> hits;
    for (int i = 0; i < count; ++i)
        if (parity < 0 || i % 2 == parity) hits.push_back(hit("n" + std::to_string(100 + i), i % 2));
    return hits;
}

Strings namesOf(std::vector<Hit> hits) {
    Strings names;
    for (const auto& h : hits) names.push_back(h.name());
    return names;
}

struct SortCase {
    SortKey key;
    bool ascending;
    const char* locale;
    std::vector<Hit> input;
    Strings expected;
    friend void PrintTo(const SortCase& c, std::ostream* os) {
        *os << static_cast<int>(c.key) << (c.ascending ? " ascending " : " descending ") << c.locale;
    }
};

class SortRules : public ::testing::TestWithParam<SortCase> {};

TEST_P(SortRules, OrderTheRowsStably) {
    const SortCase& c = GetParam();
    std::vector<Hit> hits = c.input;
    sortHits(hits, c.key, c.ascending, c.locale);
    EXPECT_EQ(namesOf(hits), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SortRules,
    ::testing::Values(
        // Names like a file browser: digit runs by value, case ignored.
        SortCase{SortKey::name, true, "en_US", named({"Report10", "report2", "Report1"}), {"Report1", "report2", "Report10"}},
        SortCase{SortKey::name, false, "en_US", named({"Report10", "report2", "Report1"}), {"Report10", "report2", "Report1"}},
        SortCase{SortKey::name, true, "en_US", named({"b", "A", "a", "B"}), {"A", "a", "b", "B"}},
        // Names equal but for case keep their order in both directions.
        SortCase{SortKey::name, true, "en_US", named({"Readme", "README", "readme"}), {"Readme", "README", "readme"}},
        SortCase{SortKey::name, false, "en_US", named({"Readme", "README", "readme"}), {"Readme", "README", "readme"}},
        // Accents count: they are not case. The locale decides where ö goes.
        SortCase{SortKey::name, true, "en_US", named({"resume", "résumé", "resume"}), {"resume", "resume", "résumé"}},
        SortCase{SortKey::name, true, "en_US", named({"zebra", "öl", "ost"}), {"öl", "ost", "zebra"}},
        SortCase{SortKey::name, true, "sv_SE", named({"zebra", "öl", "ost"}), {"ost", "zebra", "öl"}},
        // Equal sizes keep their order in both directions; folders are -1.
        SortCase{SortKey::size, true, "en_US", kSized, {"dir", "x", "y", "big"}},
        SortCase{SortKey::size, false, "en_US", kSized, {"big", "x", "y", "dir"}},
        // Absent dates are the earliest.
        SortCase{SortKey::date, true, "en_US", kDated, {"none", "old", "same", "new"}},
        SortCase{SortKey::date, false, "en_US", kDated, {"new", "old", "same", "none"}},
        SortCase{SortKey::created, true, "en_US", kDated, {"none", "new", "old", "same"}},
        SortCase{SortKey::created, false, "en_US", kDated, {"old", "same", "new", "none"}}));

TEST(SortSequence, EqualKeysKeepTheirOrderInLongLists) {
    std::vector<Hit> hits = alternating(60);
    sortHits(hits, SortKey::size, false, "en_US");
    Strings expected = namesOf(alternating(60, 1));
    for (const auto& name : namesOf(alternating(60, 0))) expected.push_back(name);
    EXPECT_EQ(namesOf(hits), expected);
}

}  // namespace
}  // namespace qf
