#include <gtest/gtest.h>

#include "model/hit_sort.h"

namespace qf {
namespace {

using Strings = std::vector<std::string>;

Hit hit(const std::string& name, std::int64_t size = 0, std::optional<Date> modified = {},
        std::optional<Date> created = {}) {
    return Hit("/t/" + name, name, size < 0, size, modified, created, "文件");
}

Strings namesOf(const std::vector<Hit>& hits) {
    Strings names;
    for (const auto& h : hits) names.push_back(h.name());
    return names;
}

struct NameCase {
    Strings input;
    bool ascending;
    const char* locale;
    Strings expected;
    friend void PrintTo(const NameCase& c, std::ostream* os) { *os << c.locale << (c.ascending ? " ascending" : " descending"); }
};

class NameSort : public ::testing::TestWithParam<NameCase> {};

TEST_P(NameSort, OrdersLikeAFileBrowser) {
    const NameCase& c = GetParam();
    std::vector<Hit> hits;
    for (const auto& name : c.input) hits.push_back(hit(name));
    sortHits(hits, SortKey::name, c.ascending, c.locale);
    EXPECT_EQ(namesOf(hits), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameSort,
    ::testing::Values(
        NameCase{{"Report10", "report2", "Report1"}, true, "en_US", {"Report1", "report2", "Report10"}},
        NameCase{{"Report10", "report2", "Report1"}, false, "en_US", {"Report10", "report2", "Report1"}},
        NameCase{{"file10", "file2", "file1"}, true, "en_US", {"file1", "file2", "file10"}},
        NameCase{{"b", "A", "a", "B"}, true, "en_US", {"A", "a", "b", "B"}},
        // Names equal but for case keep their order in both directions.
        NameCase{{"Readme", "README", "readme"}, true, "en_US", {"Readme", "README", "readme"}},
        NameCase{{"Readme", "README", "readme"}, false, "en_US", {"Readme", "README", "readme"}},
        // Accents count: they are not case.
        NameCase{{"resume", "résumé", "resume"}, true, "en_US", {"resume", "resume", "résumé"}},
        // The locale decides where ö goes.
        NameCase{{"zebra", "öl", "ost"}, true, "en_US", {"öl", "ost", "zebra"}},
        NameCase{{"zebra", "öl", "ost"}, true, "sv_SE", {"ost", "zebra", "öl"}}));

TEST(SizeSort, EqualSizesKeepTheirOrderInBothDirections) {
    for (const bool ascending : {true, false}) {
        std::vector<Hit> hits{hit("x", 10), hit("big", 99), hit("y", 10), hit("dir", -1)};
        sortHits(hits, SortKey::size, ascending, "en_US");
        const Strings expected = ascending ? Strings{"dir", "x", "y", "big"} : Strings{"big", "x", "y", "dir"};
        EXPECT_EQ(namesOf(hits), expected) << (ascending ? "ascending" : "descending");
    }
}

struct DateCase {
    SortKey key;
    bool ascending;
    Strings expected;
    friend void PrintTo(const DateCase& c, std::ostream* os) { *os << static_cast<int>(c.key) << (c.ascending ? " ascending" : " descending"); }
};

class DateSort : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateSort, AbsentDatesAreTheEarliest) {
    const DateCase& c = GetParam();
    // modified: old 100, new 300, none absent, same 100; created: reversed.
    std::vector<Hit> hits{hit("old", 1, 100.0, 300.0), hit("none", 1, std::nullopt, std::nullopt),
                          hit("new", 1, 300.0, 100.5), hit("same", 1, 100.0, 300.0)};
    sortHits(hits, c.key, c.ascending, "en_US");
    EXPECT_EQ(namesOf(hits), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Dates, DateSort,
                         ::testing::Values(DateCase{SortKey::date, true, {"none", "old", "same", "new"}},
                                           DateCase{SortKey::date, false, {"new", "old", "same", "none"}},
                                           DateCase{SortKey::created, true, {"none", "new", "old", "same"}},
                                           DateCase{SortKey::created, false, {"old", "same", "new", "none"}}));

TEST(SortSequence, ASecondColumnBreaksItsTiesByTheFirst) {
    std::vector<Hit> hits{hit("c", 5), hit("a", 7), hit("b", 5), hit("d", 7)};
    sortHits(hits, SortKey::name, true, "en_US");
    sortHits(hits, SortKey::size, false, "en_US");
    EXPECT_EQ(namesOf(hits), (Strings{"a", "d", "b", "c"}));
}

TEST(SortSequence, EmptyAndSingleListsStayAsTheyAre) {
    std::vector<Hit> none;
    sortHits(none, SortKey::name, true, "en_US");
    EXPECT_TRUE(none.empty());
    std::vector<Hit> one{hit("only", 3)};
    sortHits(one, SortKey::size, false, "en_US");
    EXPECT_EQ(namesOf(one), Strings{"only"});
}

TEST(SortSequence, PickedColumnsStartInTheirNaturalDirection) {
    EXPECT_TRUE(ascendingWhenPicked(SortKey::name));
    EXPECT_FALSE(ascendingWhenPicked(SortKey::size));
    EXPECT_FALSE(ascendingWhenPicked(SortKey::date));
    EXPECT_FALSE(ascendingWhenPicked(SortKey::created));
}

}  // namespace
}  // namespace qf
