// Search runs driven on the event loop against the fake index.
#include <gtest/gtest.h>
#include <QElapsedTimer>

#include <algorithm>

#include "model_test_support.h"

namespace qf::test {
namespace {

using ModelRun = ModelTest;

TEST_F(ModelRun, BurstOfTypingStartsOneRunAfterTheLastKeystrokeUnlessRefreshed) {
    auto model = makeModel();
    QElapsedTimer sinceLastKey;
    for (const char* text : {"r", "re", "rep"}) {
        model->setText(text);
        model->textChanged();
        sinceLastKey.start();
        spin(100ms);
    }
    ASSERT_TRUE(waitUntil([&] { return model->serial() == 1; }));
    EXPECT_GE(sinceLastKey.elapsed(), 440);
    spin(600ms);  // long enough for a second debounce period to end
    EXPECT_EQ(model->serial(), 1);

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

TEST_F(ModelRun, ANewerRunEndsTheOlderRunsChildrenAndDropsItsResult) {
    // The older run either waits for its child, which sleeps far longer than
    // the test, or has posted its result, not yet delivered: by name or recent
    // files. The newer run's own answer comes later.
    const std::pair<const char*, Args> olderRuns[] = {
        {"slow", byName("slow")}, {"first", byName("first")}, {"", kRecentCall}};
    for (const auto& [first, call] : olderRuns) {
        SCOPED_TRACE(first);
        FakeMdfind fake;
        fake.answer(call, {"/t/first"});
        fake.set(byName("slow"), ".sleep", "30");
        fake.answer(byName("second"), {"/t/second"});
        fake.set(byName("second"), ".sleep", "0.3");
        auto model = makeModel();
        model->setText(first);
        model->run();
        // Without processing events, which would deliver the result.
        ASSERT_TRUE(call == byName("slow") ? pollUntil([&] { return fake.calls().size() == 1; })
                                           : waitForBackgroundIdle(15000));
        ASSERT_TRUE(runAndWait(*model, "second"));
        ASSERT_TRUE(waitForBackgroundIdle(15000));
        EXPECT_EQ(fake.calls(), (Calls{call, byName("second")}));  // no retry either
        EXPECT_EQ(pathsOf(model->hits()), Lines{"/t/second"});
    }
}

TEST_F(ModelRun, EmptyAnswersAreAskedAgainAfterAPause) {
    // Index terms twice more; the recent files once more, listed newest first.
    // Query, the call, which call of it answers, the calls made.
    const std::tuple<const char*, Args, int, int> cases[] = {
        {"report", byName("report"), 4, 3},  // never answered
        {"report", byName("report"), 3, 3},
        {"   ", kRecentCall, 2, 2},
    };
    for (const auto& [query, call, nth, calls] : cases) {
        SCOPED_TRACE(query + std::to_string(nth));
        FakeMdfind fake;
        fake.answer(call, {"/t/late"}, nth);
        auto model = makeModel();
        QElapsedTimer timer;
        timer.start();
        ASSERT_TRUE(runAndWait(*model, query));
        EXPECT_GE(timer.elapsed(), (calls - 1) * 400 - 10);
        EXPECT_EQ(fake.calls(), Calls(calls, call));
        EXPECT_EQ(pathsOf(model->hits()), nth == 4 ? Lines{} : Lines{"/t/late"});
        EXPECT_EQ(model->sortKey(), call == kRecentCall ? SortKey::date : SortKey::name);
        EXPECT_EQ(model->sortAsc(), call != kRecentCall);
    }
}

TEST_F(ModelRun, QueriesAskTheIndexAndFilterLocally) {
    const Args report = byName("report"), foo = byName("foo"), bar = byName("bar");
    const Lines reports{"/Report_AB.txt", "/Report_ab.txt", "/report_ab.txt", "/report_xy.txt", "/my report ab"};
    const Lines spaced{"/foo bar", "/foo  bar"}, pdfs{"/ab.pdf", "/cd.pdf", "/AB.PDF", "/ab.txt"};
    // Of 3000 matches the first 1000 in path order are shown; of 2500
    // candidates only the last 500 in path order pass the short-word filter.
    // The recent files: head keeps 2000; none exists, so every date is absent
    // and the stable sort keeps the order the index printed.
    Lines all, late, recent;
    for (int i = 10000; i < 13000; ++i) {
        all.push_back("/t/report" + std::to_string(i));
        if (i >= 12500) continue;
        late.push_back((i < 12000 ? "/t/a" : "/t/b-xy") + std::to_string(i) + "-report");
        recent.push_back("/t/recent-" + std::to_string(i));
    }
    using Answers = std::vector<std::pair<Args, Lines>>;  // every call, in order
    // Query, expression mode, case, the index's answers, rows in name order, total.
    const std::tuple<const char*, bool, bool, Answers, Lines, std::int64_t> cases[] = {
        {"report", false, false, {{report, all}}, {all.begin(), all.begin() + 1000}, 3000},
        {"report xy", false, false, {{report, late}}, {}, 2500},
        {"", false, false, {{kRecentCall, recent}}, {recent.begin(), recent.begin() + 1000}, 2000},
        // Short words and patterns are tested in the name; index terms are
        // trusted, and path-like words reduced, outside expression mode; with
        // case on, they are tested as typed.
        {"ab .pdf", false, false, {{nameQuery("*.pdf"), pdfs}}, {"/AB.PDF", "/ab.pdf"}, 4},
        {"docs/report", false, false, {{report, {"/docs/report.txt", "/other"}}}, {"/other", "/docs/report.txt"}, 2},
        {"report ab", false, true, {{report, reports}}, {"/my report ab", "/report_ab.txt"}, 5},
        // Expressions: every literal run must be in the name; case as switched;
        // the tokens joined with single spaces. Without a run to ask for, or
        // not compiling, they ask nothing.
        {"docs/report", true, false, {{byName("docs"), {"/docsreport", "/docs"}}, {report, {"/docsreport"}}}, {}, 1},
        {"foo|bar", true, false, {{foo, {"/FOObar", "/foo"}}, {bar, {"/FOObar", "/bar"}}}, {"/FOObar"}, 1},
        {"foo", true, true, {{foo, {"/FOO.txt", "/foo.txt"}}}, {"/foo.txt"}, 2},
        {"^report\\d+$", true, false, {{report, {"/Report12", "/report12.txt"}}}, {"/Report12"}, 2},
        {"foo   bar", true, false, {{foo, spaced}, {bar, spaced}}, {"/foo bar"}, 2},
        {"[.]+", true, false, {}, {}, 0},
        {"[", true, false, {}, {}, 0},
    };
    for (const auto& [query, regex, caseSensitive, answers, shown, total] : cases) {
        SCOPED_TRACE(std::string(query) + (regex ? " regex" : "") + (caseSensitive ? " case" : ""));
        FakeMdfind fake;
        Calls calls;
        for (const auto& [call, lines] : answers) {
            fake.answer(call, lines);
            calls.push_back(call);
        }
        auto model = makeModel();
        model->setRegexMode(regex);
        model->setCaseSensitive(caseSensitive);
        ASSERT_TRUE(runAndWait(*model, query));
        EXPECT_EQ(fake.calls(), calls);
        EXPECT_EQ(pathsOf(model->hits()), shown);
        EXPECT_EQ(model->total(), total);
    }
}

TEST_F(ModelRun, AModelThatIsGoneRunsAndReceivesNothing) {
    // Neither a pending debounced run nor the simulated query runs, and the
    // result in flight goes nowhere.
    index.answer(byName("report"), {"/t/report"});
    index.set(byName("report"), ".sleep", "0.5");
    setEnv("QUILLFIND_SIMULATE", "gone");
    auto model = makeModel();
    model->start();
    model->setText("report");
    model->run();
    model->setText("pending");
    model->textChanged();
    ASSERT_TRUE(waitUntil([&] { return std::ranges::count(index.calls(), byName("report")) == 1; }));
    model.reset();
    spin(3100ms);  // past the debounce delay and the simulate mark
    for (const auto& call : index.calls())
        EXPECT_TRUE(call == kRecentCall || call == byName("report")) << ::testing::PrintToString(call);
}

}  // namespace
}  // namespace qf::test
