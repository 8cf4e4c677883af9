#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>

#include "core/core_test_support.h"
#include "core/dump.h"

namespace qf {
namespace {

using test::Args;
using test::byName;
using test::Lines;
using test::nameQuery;
using ::testing::ElementsAreArray;

Lines numbered(const std::string& prefix, int count, Lines tail = {}) {
    Lines out;
    for (int i = 0; i < count; ++i)
        out.push_back(prefix + (i < 10 ? "0" : "") + (i < 100 ? "0" : "") + std::to_string(i));
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

// The debug lines of a call: a by-name call logs its count, and why it
// found nothing; a name query logs nothing.
Lines logOf(const Args& call, const Lines& answer) {
    if (call.size() != 2) return {};
    const std::string term = "'" + call[1] + "'";
    if (answer.empty()) return {"mdfind " + term + " EMPTY reason=exit0", "tok " + term + " -> 0 lines"};
    return {"tok " + term + " -> " + std::to_string(answer.size()) + " lines"};
}

TEST(DumpMode, OnlyExactlyOneSelectsIt) {
    const std::pair<const char*, bool> cases[] = {{"1", true}, {"true", false}, {"0", false},
                                                  {"", false}, {"1 ", false},   {nullptr, false}};
    for (const auto& [value, selected] : cases)
        EXPECT_EQ(dumpModeSelected(value), selected) << (value ? value : "(unset)");
}

// What dump mode writes for one query: its standard-error lines, how many
// mdfind calls it makes and the debug log lines. The fake answers only the
// exact arguments of the row's one call, so the answer shown or the log
// proves them. The program's own wiring (status 0, nothing on standard
// output) is run through the real service by the index tests' dump case.
TEST(Dump, WritesTheFirstTwentyMatchesAndTheCounts) {
    Lines reversed = numbered("/docs/report-", 30, {"/Docs/zzz"});  // upper case sorts first
    std::reverse(reversed.begin(), reversed.end());
    Lines firstTwenty = numbered("/docs/report-", 19, {"TOTAL=31 SHOWN=20"});
    firstTwenty.insert(firstTwenty.begin(), "/Docs/zzz");
    const Lines mixed = numbered("/m/report", 97, {"/m/report-ab1", "/m/report-AB2", "/m/x-ab-report"});
    const struct {
        std::string query;
        Args call;
        Lines answer;
        Lines written;
    } cases[] = {
        // No query or no tokens: nothing at all, not even the counts.
        {"", {}, {}, {}},
        {" \"\" \"\" ", {}, {}, {}},
        {"report", byName("report"), reversed, firstTwenty},
        // TOTAL counts candidates; short terms filter them, case ignored, before the cap.
        {"report ab",
         byName("report"),
         mixed,
         {"/m/report-AB2", "/m/report-ab1", "/m/x-ab-report", "TOTAL=100 SHOWN=3"}},
        {"a", {}, {}, {"TOTAL=0 SHOWN=0"}},
        // An index term, a suffix and a short term together.
        {"报 ab .Txt", byName("报"), {"/r/报ab.pdf", "/r/报.txt", "/r/报AB.TXT"}, {"/r/报AB.TXT", "TOTAL=3 SHOWN=1"}},
        {"*.PDF",
         nameQuery("*.pdf"),
         {"/p/a.PDF", "/p/a.pdf.txt", "/p/b.pdf", "/p/c.pdfx"},
         {"/p/a.PDF", "/p/b.pdf", "TOTAL=4 SHOWN=2"}},
        // The query text reaches the index as typed, reduced to its last path
        // segment; quoting is guarded by the shell's every-byte test.
        {"docs/report", byName("report"), {}, {"TOTAL=0 SHOWN=0"}},
        {"report\t", byName("report\t"), {}, {"TOTAL=0 SHOWN=0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.query));
        test::FakeMdfind fake;
        if (!c.call.empty()) fake.answer(c.call, c.answer);
        test::clearDebugLog();
        ::testing::internal::CaptureStderr();
        writeDump(c.query, STDERR_FILENO);
        const std::string written = ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(written.empty() || written.back() == '\n');
        EXPECT_THAT(test::linesOf(written), ElementsAreArray(c.written));
        EXPECT_EQ(fake.callCount(), c.call.empty() ? 0u : 1u);
        EXPECT_THAT(test::debugMessages(), ElementsAreArray(logOf(c.call, c.answer)));
    }
}

}  // namespace
}  // namespace qf
