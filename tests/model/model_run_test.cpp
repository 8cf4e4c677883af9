// Search runs driven on the event loop against the fake index.
#include <gtest/gtest.h>
#include <QElapsedTimer>

#include "model_test_support.h"

namespace qf::test {
namespace {

using namespace std::chrono_literals;

using ModelRun = ModelTest;

TEST_F(ModelRun, BurstOfTypingStartsOneRunAfterTheLastKeystrokeUnlessRefreshed) {
    index.answer(nameCall("repor"), {"/t/repor"});
    auto model = makeModel();
    QElapsedTimer sinceLastKey;
    for (const char* text : {"r", "re", "rep", "repo", "repor"}) {
        model->setText(text);
        model->textChanged();
        sinceLastKey.start();
        spin(100ms);
    }
    ASSERT_TRUE(waitUntil([&] { return model->serial() == 1; }));
    EXPECT_GE(sinceLastKey.elapsed(), 440);
    ASSERT_TRUE(waitForPublication(*model));
    // Long enough for a second debounce period to have ended.
    spin(500ms);
    EXPECT_EQ(model->serial(), 1);
    EXPECT_TRUE(index.logHas("run#1 text='repor'"));

    // Refresh drops the pending run; run does not.
    for (const bool refresh : {true, false}) {
        SCOPED_TRACE(refresh ? "refresh" : "run");
        const auto serial = model->serial();
        model->textChanged();
        refresh ? model->refresh() : model->run();
        EXPECT_EQ(model->serial(), serial + 1);
        EXPECT_EQ(waitUntil([&] { return model->serial() == serial + 2; }, 700ms), !refresh);
    }
}

TEST_F(ModelRun, NewerRunTerminatesTheOlderRunsChildren) {
    index.delay(nameCall("slowterm"), 30);
    index.answer(nameCall("slowterm"), {"/t/slowterm"});
    index.answer(nameCall("report"), {"/t/report"});
    auto model = makeModel();
    model->setText("slowterm");
    model->run();
    ASSERT_TRUE(waitUntil([&] { return std::ranges::count(index.calls(), nameCall("slowterm")) == 1; }));
    spin(100ms);  // the child sleeps
    ASSERT_TRUE(runAndWait(*model, "report"));
    // Far shorter than the child's sleep.
    ASSERT_TRUE(backgroundIdle());
    spin(0ms);
    // The older worker sees its empty, terminated answer, stops at its serial
    // test and neither retries nor publishes.
    EXPECT_EQ(index.logCount("mdfind 'slowterm' EMPTY reason=SIG"), 1);
    for (const char* line : {"retry#1", "query#1", "publish#1"}) EXPECT_EQ(index.logCount(line), 0) << line;
    EXPECT_EQ(pathsOf(model->hits()), Strings{"/t/report"});
}

TEST_F(ModelRun, StalePublicationLogsSkipAndChangesNothing) {
    // The first run's result is posted but not yet delivered when the second
    // run starts. First query, its skip line, its publication's line:
    const std::tuple<const char*, const char*, const char*> cases[] = {{"first", "skip#1 serial=2", "publish#1"},
                                                                       {"", "first-skip#1 serial=2", "first-done#"}};
    index.answer(nameCall("first"), {"/t/first"});
    index.answer(recentCall(), {"/t/recent"});
    index.answer(nameCall("second"), {"/t/second"});
    for (const auto& [first, skip, done] : cases) {
        SCOPED_TRACE(skip);
        writeFile(index.logPath(), "");
        auto model = makeModel();
        model->setText(first);
        model->run();
        ASSERT_TRUE(backgroundIdle());
        ASSERT_TRUE(runAndWait(*model, "second"));
        EXPECT_TRUE(index.logHas(skip));
        EXPECT_EQ(index.logCount(done), 0);
    }
}

TEST_F(ModelRun, EmptyIndexAnswersAreRetriedTwice) {
    for (const int answeredCall : {0, 3}) {
        SCOPED_TRACE(answeredCall);
        index.reset();
        const Strings late = answeredCall ? Strings{"/t/late"} : Strings{};
        index.answer(nameCall("report"), late, answeredCall);
        auto model = makeModel();
        ASSERT_TRUE(runAndWait(*model, "report"));
        EXPECT_EQ(std::ranges::count(index.calls(), nameCall("report")), 3);
        const auto first = index.logMs("retry#1 attempt=1"), second = index.logMs("retry#1 attempt=2");
        ASSERT_TRUE(first && second);
        EXPECT_GE(*second - *first, 400);
        EXPECT_TRUE(index.logHas("publish#1 total=" + std::to_string(late.size())));
        EXPECT_EQ(pathsOf(model->hits()), late);
    }
}

TEST_F(ModelRun, QueriesAskTheIndexAndFilterLocally) {
    const std::string ab = fsNameCall("*ab*"), pdf = fsNameCall("*.pdf"), single = fsNameCall("report?.txt"),
                      report = nameCall("report");
    const std::string foo = nameCall("foo"), bar = nameCall("bar"), docs = nameCall("docs");
    const Strings reports{"/Report_AB.txt", "/Report_ab.txt", "/report_ab.txt", "/report_xy.txt", "/my report ab"};
    const Strings spaced{"/foo bar", "/foo  bar"};
    using Answers = std::vector<std::pair<std::string, Strings>>;  // every call, in order
    // Query, expression mode, case, the index's answers, rows in name order, total.
    const std::tuple<const char*, bool, bool, Answers, Strings, std::int64_t> cases[] = {
        // Shell queries by name (their quoting is the shell runner's); the
        // chosen literal is not tested again locally.
        {"ab", false, false, {{ab, {"/xaby", "/zzz"}}}, {"/xaby", "/zzz"}, 2},
        {"ab AB", false, false, {{ab, {"/xAbx", "/none"}}}, {"/xAbx"}, 2},
        {".pdf", false, true, {{pdf, {"/a.PDF", "/b.pdfx", "/c.pdf"}}}, {"/a.PDF", "/c.pdf"}, 3},
        {"ab .pdf", false, false, {{pdf, {"/ab.pdf", "/cd.pdf", "/AB.PDF", "/ab.txt"}}}, {"/AB.PDF", "/ab.pdf"}, 4},
        {"report?.txt .txt", false, false, {{single, {"/report1.txt", "/report12.txt"}}}, {"/report1.txt"}, 2},
        {"a b", false, false, {}, {}, 0},
        // Index terms are trusted, and path-like words reduced, outside
        // expression mode; with case on, they and short words are tested as typed.
        {"docs/report", false, false, {{report, {"/docs/report.txt", "/other"}}}, {"/other", "/docs/report.txt"}, 2},
        {"report ab", false, true, {{report, reports}}, {"/my report ab", "/report_ab.txt"}, 5},
        {"café", false, true, {{nameCall("café"), {"/cafe\xcc\x81 menu", "/Café"}}}, {"/cafe\xcc\x81 menu"}, 2},
        // Expressions: every literal run must be in the name; case as switched.
        {"docs/report", true, false, {{docs, {"/docsreport", "/docs"}}, {report, {"/docsreport", "/report"}}}, {}, 1},
        {"foo|bar", true, false, {{foo, {"/FOObar", "/foo"}}, {bar, {"/FOObar", "/bar"}}}, {"/FOObar"}, 1},
        {"foo", true, true, {{foo, {"/FOO.txt", "/foo.txt"}}}, {"/foo.txt"}, 2},
        {"^report\\d+$", true, false, {{report, {"/Report12", "/report12.txt"}}}, {"/Report12"}, 2},
        // The tokens are joined with single spaces.
        {"foo   bar", true, false, {{foo, spaced}, {bar, spaced}}, {"/foo bar"}, 2},
    };
    for (const auto& [query, regex, caseSensitive, answers, shown, total] : cases) {
        SCOPED_TRACE(std::string(query) + (regex ? " regex" : "") + (caseSensitive ? " case" : ""));
        index.reset();
        Strings calls;
        for (const auto& [call, lines] : answers) {
            index.answer(call, lines);
            calls.push_back(call);
        }
        auto model = makeModel();
        model->setRegexMode(regex);
        model->setCaseSensitive(caseSensitive);
        ASSERT_TRUE(runAndWait(*model, query));
        EXPECT_EQ(index.calls(), calls);
        EXPECT_EQ(pathsOf(model->hits()), shown);
        EXPECT_EQ(model->total(), total);
    }
}

TEST_F(ModelRun, DeadExpressionsEndTheRunAtOnceWithNothing) {
    for (const std::string expression : {"[", ".*", "[.]+"}) {
        SCOPED_TRACE(expression);
        index.reset();
        auto model = makeModel();
        model->setRegexMode(true);
        model->setText(expression);
        model->run();
        // The run ends on the main thread, before any worker.
        EXPECT_FALSE(model->gathering());
        ASSERT_TRUE(backgroundIdle());
        EXPECT_EQ(index.logMessages(), Strings{"run#1 text='" + expression + "'"});
    }
}

TEST_F(ModelRun, OnlyTheFirstTwoThousandCandidatesAreExaminedAndAThousandShown) {
    // By name: of 3000 matches the first 1000 in path order are shown; of 2500
    // candidates only the last 500 in path order pass the short-word filter,
    // so none is shown. Recent files: head keeps 2000; none exists, so every
    // date is absent and the stable sort keeps the order the index printed.
    Strings all, late, recent;
    for (int i = 10000; i < 13000; ++i) {
        all.push_back("/t/report" + std::to_string(i));
        if (i >= 12500) continue;
        late.push_back((i < 12000 ? "/t/a" : "/t/b-xy") + std::to_string(i) + "-report");
        recent.push_back("/t/recent-" + std::to_string(i));
    }
    // Query, the call, its answer, total, rows, a log line.
    const std::tuple<const char*, std::string, Strings, std::int64_t, Strings, const char*> cases[] = {
        {"report", nameCall("report"), all, 3000, {all.begin(), all.begin() + 1000}, "query#1 inter=3000 arr=1000"},
        {"report xy", nameCall("report"), late, 2500, {}, "query#1 inter=2500 arr=0"},
        {"", recentCall(), recent, 2000, {recent.begin(), recent.begin() + 1000}, "first-done#1 paths=2000"},
    };
    for (const auto& [query, call, answer, total, shown, log] : cases) {
        SCOPED_TRACE(query);
        index.reset();
        index.answer(call, answer);
        auto model = makeModel();
        ASSERT_TRUE(runAndWait(*model, query));
        EXPECT_EQ(model->total(), total);
        EXPECT_EQ(pathsOf(model->hits()), shown);
        EXPECT_EQ(index.logCount(log), 1);
    }
}

TEST_F(ModelRun, RecentFilesRunSortsByDateDescendingAndAsksOnceMoreWhenEmpty) {
    index.answer(recentCall(), {"/t/late"}, 2);
    auto model = makeModel();
    ASSERT_EQ(model->sortKey(), SortKey::name);
    ASSERT_TRUE(runAndWait(*model, "   "));
    EXPECT_EQ(model->sortKey(), SortKey::date);
    EXPECT_FALSE(model->sortAsc());
    EXPECT_EQ(std::ranges::count(index.calls(), recentCall()), 2);
    EXPECT_EQ(pathsOf(model->hits()), Strings{"/t/late"});
    EXPECT_EQ(index.logMessages(), (Strings{"run#1 text='   '", "first-retry paths=1", "first-done#1 paths=1"}));

    // The order picked afterwards holds for later runs, whose results arrive
    // sorted by it.
    Strings files;
    for (const std::size_t size : {10, 5000, 300}) {
        files.push_back(index.path("report-" + std::to_string(size)));
        writeFile(files.back(), std::string(size, 'x'));
    }
    index.answer(nameCall("report"), files);
    model->setSort(SortKey::size);
    ASSERT_TRUE(runAndWait(*model, "report"));
    EXPECT_EQ(pathsOf(model->hits()), (Strings{files[1], files[2], files[0]}));
}

TEST_F(ModelRun, AModelThatIsGoneRunsAndReceivesNothing) {
    // Neither a pending debounced run nor the simulated query.
    index.answer(recentCall(), {"/t/recent"});
    setEnv("QUILLFIND_SIMULATE", "gone");
    auto pending = makeModel();
    pending->start();
    pending->setText("pending");
    pending->textChanged();
    pending.reset();

    index.delay(nameCall("report"), 0.5);
    index.answer(nameCall("report"), {"/t/report"});
    auto model = makeModel();
    model->setText("report");
    model->run();
    ASSERT_TRUE(waitUntil([&] { return std::ranges::count(index.calls(), nameCall("report")) == 1; }));
    model.reset();
    ASSERT_TRUE(backgroundIdle());
    spin(3100ms);  // past the debounce delay and the simulate mark
    EXPECT_TRUE(index.logHas("query#1 inter=1 arr=1 lits=[\"report\"]"));
    for (const char* line : {"run#2", "SIMULATE", "publish#", "first-done#"})
        EXPECT_EQ(index.logCount(line), 0) << line;
}

}  // namespace
}  // namespace qf::test
