// The desktop's question to the index: the best few names for some words,
// ranked exact, prefix, other and newest first: the ranks, the parallel
// scan's parts, the wire and the running service.
#include <gtest/gtest.h>

#include "base/unix_socket.h"
#include "index/client/best_answer.h"
#include "index/store/best_matches.h"
#include "index/store/fold.h"
#include "index_test_support.h"

namespace qf::index {
namespace {

using testing::touch;
namespace fs = std::filesystem;
using Rank = MatchRank;

TEST(RankNameTest, ExactStemPrefixOther) {
    const std::tuple<const char*, const char*, Rank> cases[] = {
        {"report", "report", Rank::exact},   {"report.pdf", "report", Rank::exact},
        {"report.", "report", Rank::exact},  {"report.tar.gz", "report", Rank::prefix},
        {"reports", "report", Rank::prefix}, {"report 2024", "report", Rank::prefix},
        {".report", "report", Rank::other},  {"my report", "report", Rank::other},
        {"rep", "report", Rank::other},      {"old report.md", "old report", Rank::exact},
        {"anything", "", Rank::other},       {"", "", Rank::other},
    };
    for (const auto& [name, typed, rank] : cases) EXPECT_EQ(rankName(name, typed), rank) << name << " / " << typed;
}

// The parts of a parallel scan each keep their best few; merged, they must
// be the best few of all, also among names of one time spread over parts.
TEST(BestScaleTest, PartsMergeIntoTheBestOfAll) {
    IndexStore s;
    const uint32_t top = s.addRoot("/big");
    std::vector<uint32_t> folders;
    for (int k = 0; k < 10; ++k)
        folders.push_back(
            s.addChild(top, "d" + std::to_string(k), "d" + std::to_string(k), EntryType::dir, kNoTime, kNoTime));
    constexpr uint32_t kEntries = 200000;
    int64_t newestExact = kNoTime;
    for (uint32_t i = 0; i < kEntries; ++i) {
        const std::string name = (i % 5 == 0 ? "file" : "file-") + std::to_string(i % 1000) + ".txt";
        const int64_t changed = static_cast<int64_t>(i % 89) * 1'000'000'000;
        s.addChild(folders[(i / 1000) % 10], name, foldName(name), EntryType::file, changed, kNoTime);
        if (name == "file-7.txt") newestExact = std::max(newestExact, changed);
    }
    BestQuery query{{"file"}, {}, "file-7", 25};
    const BestMatches one = findBest(s, query, 1), many = findBest(s, query, 8);
    ASSERT_EQ(one.best.size(), 25u);
    EXPECT_EQ(many.matches, kEntries);
    std::vector<uint32_t> oneIds, manyIds;
    for (const auto& m : one.best) oneIds.push_back(m.id);
    for (const auto& m : many.best) manyIds.push_back(m.id);
    EXPECT_EQ(manyIds, oneIds);
    // "file-7.txt" is exact (its name without the extension), and there are
    // more of them than kept: only the newest are.
    EXPECT_EQ(one.best.back().rank, Rank::exact);
    EXPECT_EQ(s.rawName(one.best[0].id), "file-7.txt");
    EXPECT_EQ(s.at(one.best[0].id).times.seconds(), newestExact / 1'000'000'000);
}

// (Best requests on the wire: WireTest.)
TEST(BestWireTest, RankedRecordsRoundTrip) {
    const RankedEntry entries[] = {
        {Rank::exact, true, 1712345678123456789, "/a b/report"},
        {Rank::other, false, std::nullopt, "/x/line\nbreak 1 2"},
        {Rank::prefix, false, -5, "/"},
    };
    for (const RankedEntry& e : entries) EXPECT_EQ(parseRankedPayload(rankedPayload(e)), std::optional(e)) << e.path;
    for (const char* bad : {"", "0f 12 ", "3f 1 /a", "0x 1 /a", "0f1 /a", "0f 1x /a", "0f 1/a", "0f  /a"})
        EXPECT_FALSE(parseRankedPayload(bad).has_value()) << bad;
}

// The service's own answer over its socket, as the desktop provider asks:
// rank beats recency (the newest names are the weakest matches), ties go
// newest first, then by name, then by path.
TEST(BestServiceTest, RanksNewestFirstWithDatesAndRefusesWhatItCannotAnswer) {
    testing::ServiceWorld world;
    const std::pair<const char*, int> ages[] = {// days
                                                {"report", 37},
                                                {"Report.pdf", 35},
                                                {"x/réport.txt", 31},
                                                {"report.tar.gz", 33},
                                                {"reports", 32},
                                                {".report", 20},
                                                {"b report", 34},
                                                {"y/a report", 34},
                                                {"y/same report", 34},
                                                {"x/same report", 34},
                                                {"Quarterly Report 2024.PDF", 10}};
    const int64_t now = std::time(nullptr);
    for (const auto& [name, days] : ages) {
        if (std::string(name) == "report")
            fs::create_directories(world.file(name));
        else
            touch(world.file(name));
        ASSERT_TRUE(testing::setChangeTime(world.file(name), now - days * 86400)) << name;
    }
    ASSERT_TRUE(world.start());
    const auto ask = [&](std::vector<std::string> terms, std::vector<std::string> patterns, std::string typed,
                         uint32_t limit = 100) -> Expected<BestAnswer> {
        auto fd = qf::connectUnixSocket(world.indexDir() + "/indexd.sock");
        if (!fd) return std::move(fd).error();
        Request r;
        r.op = Request::Op::best;
        r.terms = std::move(terms);
        r.patterns = std::move(patterns);
        r.value = std::move(typed);
        r.limit = limit;
        return askBest(fd->get(), r);
    };
    const auto paths = [&](const Expected<BestAnswer>& answer) {
        std::vector<std::string> out;
        for (const RankedEntry& e : answer.valueOr({}).entries) out.push_back(e.path.substr(world.root().size() + 1));
        return out;
    };
    using Words = std::vector<std::string>;
    const Words all = {
        "x/réport.txt", "Report.pdf", "report",   "reports",       "report.tar.gz", "Quarterly Report 2024.PDF",
        ".report",      "y/a report", "b report", "x/same report", "y/same report"};
    const std::tuple<Words, Words, const char*, uint32_t, Words> cases[] = {
        {{"REPORT"}, {}, "REPORT", 100, all},
        {{"report"}, {}, "report", 4, {"x/réport.txt", "Report.pdf", "report", "reports"}},
        // Every word must occur; the words rank together, as typed.
        {{"report", "2024"}, {}, "report 2024", 100, {"Quarterly Report 2024.PDF"}},
        {{"same", "report"}, {}, "same report", 100, {"x/same report", "y/same report"}},
        // Patterns match whole names; alone, they rank by time only.
        {{"report"}, {"*.pdf"}, "report", 100, {"Report.pdf", "Quarterly Report 2024.PDF"}},
        {{}, {"*.pdf"}, "", 100, {"Quarterly Report 2024.PDF", "Report.pdf"}},
        {{}, {"?eport*"}, "", 100, {"x/réport.txt", "reports", "report.tar.gz", "Report.pdf", "report"}},
        {{"report"}, {"*.zip"}, "report", 100, {}},
        // A lone combining mark folds to nothing: nothing was asked for.
        {{"\u0301"}, {}, "\u0301", 100, {}},
        {{"\u0301", "reports"}, {}, "reports", 100, {"reports"}},
    };
    for (const auto& [terms, patterns, typed, limit, expected] : cases)
        EXPECT_EQ(paths(ask(terms, patterns, typed, limit)), expected) << ::testing::PrintToString(terms) << typed;

    const auto answer = ask({"report"}, {}, "report", 3);
    ASSERT_TRUE(answer.hasValue()) << answer.error().message();
    EXPECT_EQ(answer->matches, all.size()) << "every match is counted, not only those kept";
    EXPECT_EQ(answer->entries[2],
              (RankedEntry{Rank::exact, true, (now - 37 * 86400) * 1'000'000'000, world.file("report")}));
    EXPECT_EQ(answer->entries[0].changedNs, (now - 31 * 86400) * 1'000'000'000);

    const std::pair<Expected<BestAnswer>, const char*> refused[] = {
        {ask({"report"}, {}, "report", 0), "1 to 1000"},
        {ask({"report"}, {}, "report", 1001), "1 to 1000"},
        {ask({}, {}, "report"), "a word or a pattern"},
    };
    for (const auto& [refusal, reason] : refused) {
        ASSERT_FALSE(refusal.hasValue()) << reason;
        EXPECT_EQ(refusal.error(), Errc::refused);
        EXPECT_NE(refusal.error().message().find(reason), std::string::npos) << refusal.error().message();
    }
}

}  // namespace
}  // namespace qf::index
