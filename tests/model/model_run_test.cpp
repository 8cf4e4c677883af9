// Search runs driven on the event loop against the fake index.
#include <QElapsedTimer>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>

#include "core/shell.h"
#include "model_test_support.h"

namespace qf::test {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

Strings pathsOf(const std::vector<Hit>& hits) {
    Strings paths;
    for (const auto& h : hits) paths.push_back(h.path());
    return paths;
}

std::set<std::string> pathSet(const std::vector<Hit>& hits) {
    const Strings paths = pathsOf(hits);
    return {paths.begin(), paths.end()};
}

int countPrefix(const Strings& messages, const std::string& prefix) {
    return static_cast<int>(std::count_if(messages.begin(), messages.end(),
                                          [&](const std::string& m) { return m.rfind(prefix, 0) == 0; }));
}

class ModelRun : public ModelTest {};

TEST_F(ModelRun, BurstOfTypingStartsOneRunAfterTheLastKeystroke) {
    index->answer(FakeIndex::nameCall("repor"), {"/t/repor"});
    auto model = makeModel();
    QElapsedTimer sinceLastKey;
    for (const char* text : {"r", "re", "rep", "repo", "repor"}) {
        model->setText(text);
        model->setSelectedPath(std::nullopt);
        model->textChanged();
        sinceLastKey.start();
        spin(100ms);
    }
    ASSERT_TRUE(waitUntil([&] { return model->serial() == 1; }));
    EXPECT_GE(sinceLastKey.elapsed(), 440);
    ASSERT_TRUE(waitForPublication(*model));
    spin(600ms);
    const Strings messages = index->logMessages();
    EXPECT_EQ(countPrefix(messages, "run#"), 1);
    EXPECT_TRUE(index->logHas("run#1 text='repor'"));
    EXPECT_EQ(model->serial(), 1);
}

TEST_F(ModelRun, RefreshRunsAtOnceAndDropsThePendingRun) {
    auto model = makeModel();
    model->setText("ab");
    model->textChanged();
    model->refresh();
    EXPECT_EQ(model->serial(), 1);
    spin(700ms);
    EXPECT_EQ(model->serial(), 1);
    EXPECT_EQ(countPrefix(index->logMessages(), "run#"), 1);
}

TEST_F(ModelRun, RunDoesNotCancelThePendingDebouncedRun) {
    auto model = makeModel();
    model->setText("ab");
    model->textChanged();
    model->run();
    EXPECT_EQ(model->serial(), 1);
    ASSERT_TRUE(waitUntil([&] { return model->serial() == 2; }, 3s));
}

TEST_F(ModelRun, RunPublishesItsStateInOrder) {
    index->answer(FakeIndex::nameCall("report"), {"/t/b-report", "/t/a-report"});
    auto model = makeModel();
    model->setText("report");
    QSignalSpy spy(model.get(), &Model::changed);
    model->run();
    std::vector<Model::Property> started;
    for (const auto& args : spy) started.push_back(args.at(0).value<Model::Property>());
    EXPECT_EQ(started, (std::vector<Model::Property>{Model::Property::hits, Model::Property::total,
                                                     Model::Property::selectedPath, Model::Property::gathering}));
    EXPECT_TRUE(model->gathering());
    EXPECT_TRUE(model->hits().empty());

    spy.clear();
    ASSERT_TRUE(waitForPublication(*model));
    std::vector<Model::Property> published;
    for (const auto& args : spy) published.push_back(args.at(0).value<Model::Property>());
    EXPECT_EQ(published, (std::vector<Model::Property>{Model::Property::total, Model::Property::hits,
                                                       Model::Property::gathering, Model::Property::hits}));
    EXPECT_EQ(model->total(), 2);
    EXPECT_EQ(pathsOf(model->hits()), (Strings{"/t/a-report", "/t/b-report"}));
    const Strings messages = index->logMessages();
    EXPECT_EQ(messages, (Strings{"run#1 text='report'", "tok 'report' -> 2 lines",
                                 "query#1 inter=2 arr=2 lits=[\"report\"]", "publish#1 total=2"}));
}

TEST_F(ModelRun, EveryAssignmentNotifiesEvenWithAnEqualValue) {
    auto model = makeModel();
    QSignalSpy spy(model.get(), &Model::changed);
    model->setText("same");
    model->setText("same");
    model->setCaseSensitive(false);
    model->setRegexMode(false);
    model->setSelectedPath(std::nullopt);
    model->applySort();
    ASSERT_EQ(spy.count(), 6);
    EXPECT_EQ(spy.at(5).at(0).value<Model::Property>(), Model::Property::hits);
}

TEST_F(ModelRun, NewerRunTerminatesTheOlderRunsChildren) {
    index->delay(FakeIndex::nameCall("slowterm"), 30);
    index->answer(FakeIndex::nameCall("slowterm"), {"/t/slowterm"});
    index->answer(FakeIndex::nameCall("report"), {"/t/report"});
    auto model = makeModel();
    model->setText("slowterm");
    model->run();
    ASSERT_TRUE(waitUntil([&] { return index->callCount(FakeIndex::nameCall("slowterm")) == 1; }));
    spin(100ms);

    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(runAndWait(*model, "report"));
    EXPECT_EQ(pathsOf(model->hits()), Strings{"/t/report"});
    // The older worker sees its empty, terminated answer, stops at its serial
    // test and neither retries nor publishes.
    ASSERT_TRUE(waitUntil([&] { return index->logIndexOf("mdfind 'slowterm' EMPTY reason=SIG") >= 0; }, 5s));
    EXPECT_LT(clock.elapsed(), 10000);
    spin(600ms);
    const Strings messages = index->logMessages();
    EXPECT_EQ(countPrefix(messages, "retry#1"), 0);
    EXPECT_EQ(countPrefix(messages, "query#1"), 0);
    EXPECT_EQ(countPrefix(messages, "publish#1"), 0);
    EXPECT_EQ(index->callCount(FakeIndex::nameCall("slowterm")), 1);
    EXPECT_EQ(pathsOf(model->hits()), Strings{"/t/report"});
}

TEST_F(ModelRun, StalePublicationLogsSkipAndChangesNothing) {
    index->answer(FakeIndex::nameCall("first"), {"/t/first"});
    index->answer(FakeIndex::nameCall("second"), {"/t/second"});
    auto model = makeModel();
    model->setText("first");
    model->run();
    // Keep the event loop still until the first worker has posted its result,
    // then start another run before that result is delivered.
    for (int i = 0; i < 500 && index->logIndexOf("query#1") < 0; ++i) std::this_thread::sleep_for(10ms);
    ASSERT_GE(index->logIndexOf("query#1"), 0);
    model->setText("second");
    model->run();
    ASSERT_TRUE(waitForPublication(*model));
    EXPECT_TRUE(index->logHas("skip#1 serial=2"));
    EXPECT_EQ(countPrefix(index->logMessages(), "publish#1"), 0);
    EXPECT_EQ(pathsOf(model->hits()), Strings{"/t/second"});
    EXPECT_EQ(model->total(), 1);
}

TEST_F(ModelRun, StaleRecentFilesPublicationLogsFirstSkip) {
    index->answer(FakeIndex::recentCall(), {"/t/recent"});
    index->answer(FakeIndex::nameCall("report"), {"/t/report"});
    auto model = makeModel();
    model->run();
    // Without processing events: wait until the one index call has ended, so
    // the worker posts its result right away.
    for (int i = 0; i < 1000; ++i) {
        if (index->callCount(FakeIndex::recentCall()) == 1 && QueryRunner::shared().runningCount() == 0) break;
        std::this_thread::sleep_for(10ms);
    }
    std::this_thread::sleep_for(200ms);
    ASSERT_TRUE(runAndWait(*model, "report"));
    spin(100ms);
    EXPECT_TRUE(index->logHas("first-skip#1 serial=2"));
    EXPECT_EQ(countPrefix(index->logMessages(), "first-done#"), 0);
    EXPECT_EQ(pathsOf(model->hits()), Strings{"/t/report"});
}

TEST_F(ModelRun, EmptyIndexAnswerIsRetriedTwice) {
    auto model = makeModel();
    ASSERT_TRUE(runAndWait(*model, "report"));
    EXPECT_EQ(index->callCount(FakeIndex::nameCall("report")), 3);
    const auto first = index->logLine("retry#1 attempt=1");
    const auto second = index->logLine("retry#1 attempt=2");
    ASSERT_TRUE(first && second);
    EXPECT_GE(second->ms - first->ms, 400);
    EXPECT_TRUE(index->logHas("query#1 inter=0 arr=0 lits=[\"report\"]"));
    EXPECT_TRUE(index->logHas("publish#1 total=0"));
    EXPECT_EQ(model->total(), 0);
    EXPECT_FALSE(model->gathering());
}

TEST_F(ModelRun, RetryThatFindsSomethingPublishesIt) {
    index->answer(FakeIndex::nameCall("report"), {"/t/report-late"}, 3);
    auto model = makeModel();
    ASSERT_TRUE(runAndWait(*model, "report"));
    EXPECT_EQ(pathsOf(model->hits()), Strings{"/t/report-late"});
    EXPECT_TRUE(index->logHas("retry#1 attempt=2"));
}

TEST_F(ModelRun, RetriesStopOnceTheRunIsNoLongerCurrent) {
    auto model = makeModel();
    model->setText("report");
    model->run();
    ASSERT_TRUE(waitUntil([&] { return index->logIndexOf("retry#1 attempt=1") >= 0; }, 5s));
    model->setText("ab");
    model->run();
    ASSERT_TRUE(waitForPublication(*model));
    spin(900ms);
    EXPECT_EQ(index->logIndexOf("retry#1 attempt=2"), -1);
    EXPECT_EQ(index->callCount(FakeIndex::nameCall("report")), 2);
}

TEST_F(ModelRun, CaseSensitiveRunsTestIndexTermsAndShortWordsAsTyped) {
    index->answer(FakeIndex::nameCall("report"),
                  {"/t/Report_AB.txt", "/t/report_ab.txt", "/t/report_xy.txt", "/t/REPORT-aB", "/t/my report ab"});
    auto model = makeModel();
    ASSERT_TRUE(runAndWait(*model, "report ab"));
    EXPECT_EQ(pathSet(model->hits()),
              (std::set<std::string>{"/t/Report_AB.txt", "/t/report_ab.txt", "/t/REPORT-aB", "/t/my report ab"}));
    EXPECT_EQ(model->total(), 5);

    model->setCaseSensitive(true);
    ASSERT_TRUE(runAndWait(*model, "report ab"));
    EXPECT_EQ(pathSet(model->hits()), (std::set<std::string>{"/t/report_ab.txt", "/t/my report ab"}));
    EXPECT_EQ(model->total(), 5);
}

struct ShellQueryCase {
    const char* query;
    const char* call;  // the query argument mdfind receives
    Strings answer;
    Strings shown;
    friend void PrintTo(const ShellQueryCase& c, std::ostream* os) { *os << "'" << c.query << "'"; }
};

class ShellQueries : public ModelTest, public ::testing::WithParamInterface<ShellQueryCase> {};

TEST_P(ShellQueries, AskTheIndexByNameAndFilterLocally) {
    const ShellQueryCase& c = GetParam();
    index->answer(c.call, c.answer);
    auto model = makeModel();
    ASSERT_TRUE(runAndWait(*model, c.query));
    EXPECT_EQ(index->calls(), Strings{c.call});
    EXPECT_EQ(pathSet(model->hits()), std::set<std::string>(c.shown.begin(), c.shown.end()));
    EXPECT_EQ(model->total(), static_cast<std::int64_t>(c.answer.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Queries, ShellQueries,
    ::testing::Values(
        // The chosen literal is not tested again locally.
        ShellQueryCase{"ab", "kMDItemFSName == '*ab*'cd", {"/t/xaby", "/t/zzz"}, {"/t/xaby", "/t/zzz"}},
        ShellQueryCase{"ab AB", "kMDItemFSName == '*ab*'cd", {"/t/xAbx", "/t/none"}, {"/t/xAbx"}},
        ShellQueryCase{"i'm", "kMDItemFSName == '*i'\\''m*'cd", {"/t/i'm here"}, {"/t/i'm here"}},
        ShellQueryCase{".pdf", "kMDItemFSName == '*.pdf'cd", {"/t/a.PDF", "/t/b.pdfx", "/t/c.pdf"},
                       {"/t/a.PDF", "/t/c.pdf"}},
        ShellQueryCase{"*.PDF", "kMDItemFSName == '*.pdf'cd", {"/t/a.PDF"}, {"/t/a.PDF"}},
        ShellQueryCase{"ab .pdf", "kMDItemFSName == '*.pdf'cd", {"/t/ab.pdf", "/t/cd.pdf", "/t/AB.PDF"},
                       {"/t/ab.pdf", "/t/AB.PDF"}},
        ShellQueryCase{"report?.txt .txt", "kMDItemFSName == 'report?.txt'cd", {"/t/report1.txt", "/t/report12.txt"},
                       {"/t/report1.txt"}}));

TEST_F(ModelRun, OneCharacterWordsRunNothing) {
    auto model = makeModel();
    ASSERT_TRUE(runAndWait(*model, "a b"));
    EXPECT_TRUE(index->calls().empty());
    EXPECT_EQ(model->total(), 0);
    EXPECT_TRUE(model->hits().empty());
    EXPECT_TRUE(index->logHas("query#1 inter=0 arr=0 lits=[]"));
}

TEST_F(ModelRun, PathLikeWordsAreReducedOutsideExpressionMode) {
    index->answer(FakeIndex::nameCall("report"), {"/t/docs/report.txt"});
    auto model = makeModel();
    ASSERT_TRUE(runAndWait(*model, "docs/report"));
    EXPECT_EQ(index->calls(), Strings{FakeIndex::nameCall("report")});
    EXPECT_EQ(model->hits().size(), 1u);
}

TEST_F(ModelRun, ExpressionModeKeepsSlashesAndIntersectsTheLiteralRuns) {
    index->answer(FakeIndex::nameCall("docs"), {"/t/docsreport", "/t/docs"});
    index->answer(FakeIndex::nameCall("report"), {"/t/docsreport", "/t/report"});
    auto model = makeModel();
    model->setRegexMode(true);
    ASSERT_TRUE(runAndWait(*model, "docs/report"));
    EXPECT_EQ(index->calls(), (Strings{FakeIndex::nameCall("docs"), FakeIndex::nameCall("report")}));
    EXPECT_EQ(model->total(), 1);
    EXPECT_TRUE(model->hits().empty());
}

TEST_F(ModelRun, ExpressionAlternativesAreAllRequiredByTheIntersection) {
    index->answer(FakeIndex::nameCall("foo"), {"/t/FOObar", "/t/foo"});
    index->answer(FakeIndex::nameCall("bar"), {"/t/FOObar", "/t/bar"});
    auto model = makeModel();
    model->setRegexMode(true);
    ASSERT_TRUE(runAndWait(*model, "foo|bar"));
    EXPECT_EQ(pathsOf(model->hits()), Strings{"/t/FOObar"});
    EXPECT_TRUE(index->logHas("query#1 inter=1 arr=1 lits=[\"foo\", \"bar\"]"));
}

TEST_F(ModelRun, CaseSensitiveExpressionMatchesAsWritten) {
    index->answer(FakeIndex::nameCall("foo"), {"/t/FOO.txt", "/t/foo.txt"});
    auto model = makeModel();
    model->setRegexMode(true);
    model->setCaseSensitive(true);
    ASSERT_TRUE(runAndWait(*model, "foo"));
    EXPECT_EQ(pathsOf(model->hits()), Strings{"/t/foo.txt"});
    model->setCaseSensitive(false);
    ASSERT_TRUE(runAndWait(*model, "foo"));
    EXPECT_EQ(model->hits().size(), 2u);
}

struct DeadExpressionCase {
    const char* expression;
    friend void PrintTo(const DeadExpressionCase& c, std::ostream* os) { *os << "'" << c.expression << "'"; }
};

class DeadExpressions : public ModelTest, public ::testing::WithParamInterface<DeadExpressionCase> {};

TEST_P(DeadExpressions, EndTheRunWithNothing) {
    index->answer(FakeIndex::recentCall(), {"/t/recent"});
    auto model = makeModel();
    model->setRegexMode(true);
    model->setText(GetParam().expression);
    model->run();
    // The run ends on the main thread, before any worker.
    EXPECT_FALSE(model->gathering());
    EXPECT_EQ(model->total(), 0);
    EXPECT_TRUE(model->hits().empty());
    spin(300ms);
    EXPECT_TRUE(index->calls().empty());
    EXPECT_EQ(index->logMessages(), Strings{std::string("run#1 text='") + GetParam().expression + "'"});
}

INSTANTIATE_TEST_SUITE_P(Expressions, DeadExpressions,
                         ::testing::Values(DeadExpressionCase{"["}, DeadExpressionCase{".*"},
                                           DeadExpressionCase{"[.]+"}));

TEST_F(ModelRun, ThreeThousandMatchingCandidatesShowTheFirstThousandInPathOrder) {
    Strings answer;
    for (int i = 2999; i >= 0; --i) {
        char name[32];
        std::snprintf(name, sizeof name, "/t/report%04d", i);
        answer.push_back(name);
    }
    index->answer(FakeIndex::nameCall("report"), answer);
    auto model = makeModel();
    ASSERT_TRUE(runAndWait(*model, "report"));
    EXPECT_EQ(model->total(), 3000);
    ASSERT_EQ(model->hits().size(), 1000u);
    const auto shown = pathSet(model->hits());
    EXPECT_EQ(*shown.begin(), "/t/report0000");
    EXPECT_EQ(*shown.rbegin(), "/t/report0999");
    EXPECT_TRUE(index->logHas("query#1 inter=3000 arr=1000 lits=[\"report\"]"));
}

TEST_F(ModelRun, OnlyTheFirstTwoThousandCandidatesAreExamined) {
    Strings answer;
    for (int i = 0; i < 2500; ++i) {
        char name[40];
        // Only the last 500 in path order pass the short-word filter.
        std::snprintf(name, sizeof name, i < 2000 ? "/t/a%04d-report" : "/t/b%04d-report-xy", i);
        answer.push_back(name);
    }
    index->answer(FakeIndex::nameCall("report"), answer);
    auto model = makeModel();
    ASSERT_TRUE(runAndWait(*model, "report xy"));
    EXPECT_EQ(model->total(), 2500);
    EXPECT_TRUE(model->hits().empty());
}

TEST_F(ModelRun, SpacesOnlyQueryIsTheRecentFilesRun) {
    index->answer(FakeIndex::recentCall(), {"/t/recent"});
    auto model = makeModel();
    ASSERT_TRUE(runAndWait(*model, "   "));
    EXPECT_EQ(model->sortKey(), SortKey::date);
    EXPECT_FALSE(model->sortAsc());
    EXPECT_EQ(pathsOf(model->hits()), Strings{"/t/recent"});
    EXPECT_TRUE(index->logHas("run#1 text='   '"));
    EXPECT_TRUE(index->logHas("first-done#1 paths=1"));
}

TEST_F(ModelRun, RecentFilesAreCappedByHeadAndByTheHitCap) {
    Strings answer;
    for (int i = 0; i < 2500; ++i) answer.push_back("/t/recent-" + std::to_string(i));
    index->answer(FakeIndex::recentCall(), answer);
    auto model = makeModel();
    ASSERT_TRUE(runAndWait(*model, ""));
    EXPECT_EQ(model->total(), 2000);
    // None of these exist, so every date is absent and the stable sort keeps
    // the order in which the index printed them.
    EXPECT_EQ(pathsOf(model->hits()), Strings(answer.begin(), answer.begin() + 1000));
    EXPECT_TRUE(index->logHas("first-done#1 paths=2000"));
}

TEST_F(ModelRun, EmptyRecentFilesAreAskedOnceMore) {
    index->answer(FakeIndex::recentCall(), {"/t/late"}, 2);
    auto model = makeModel();
    ASSERT_TRUE(runAndWait(*model, ""));
    EXPECT_EQ(index->callCount(FakeIndex::recentCall()), 2);
    EXPECT_TRUE(index->logHas("first-retry paths=1"));
    EXPECT_EQ(pathsOf(model->hits()), Strings{"/t/late"});
}

TEST_F(ModelRun, RecentFilesRunKeepsItsOrderForLaterRuns) {
    index->answer(FakeIndex::nameCall("report"), {"/t/report"});
    auto model = makeModel();
    ASSERT_TRUE(runAndWait(*model, ""));
    model->setSort(SortKey::size);
    ASSERT_TRUE(runAndWait(*model, "report"));
    EXPECT_EQ(model->sortKey(), SortKey::size);
    EXPECT_FALSE(model->sortAsc());
}

TEST_F(ModelRun, ResultsArriveSortedByTheColumnInForce) {
    const std::string small = makeFile("report-small", 10);
    const std::string large = makeFile("report-large", 5000);
    const std::string mid = makeFile("report-mid", 300);
    index->answer(FakeIndex::nameCall("report"), {small, large, mid});
    auto model = makeModel();
    model->setSort(SortKey::size);
    ASSERT_TRUE(runAndWait(*model, "report"));
    EXPECT_EQ(pathsOf(model->hits()), (Strings{large, mid, small}));
    EXPECT_EQ(model->hits().front().size(), 5000);
}

TEST_F(ModelRun, AWorkerWhoseModelIsGoneDeliversNothing) {
    index->delay(FakeIndex::nameCall("report"), 0.5);
    index->answer(FakeIndex::nameCall("report"), {"/t/report"});
    auto model = makeModel();
    model->setText("report");
    model->run();
    ASSERT_TRUE(waitUntil([&] { return index->callCount(FakeIndex::nameCall("report")) == 1; }));
    model.reset();
    ASSERT_TRUE(waitUntil([&] { return index->logIndexOf("query#1") >= 0; }, 5s));
    spin(200ms);
    EXPECT_EQ(countPrefix(index->logMessages(), "publish#"), 0);
    EXPECT_EQ(countPrefix(index->logMessages(), "skip#"), 0);
}

TEST_F(ModelRun, PendingDebouncedRunDiesWithTheModel) {
    auto model = makeModel();
    model->setText("report");
    model->textChanged();
    model.reset();
    spin(700ms);
    EXPECT_EQ(countPrefix(index->logMessages(), "run#"), 0);
}

}  // namespace
}  // namespace qf::test
