// Start-up variables, stress mode and simulate mode.
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <cstdlib>

#include "model/stress.h"
#include "model_test_support.h"

namespace qf::test {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

int countPrefix(const Strings& messages, const std::string& prefix) {
    return static_cast<int>(std::count_if(messages.begin(), messages.end(),
                                          [&](const std::string& m) { return m.rfind(prefix, 0) == 0; }));
}

// ---- pure pieces of stress mode ----

struct SplitCase {
    const char* value;
    Strings pieces;
    friend void PrintTo(const SplitCase& c, std::ostream* os) { *os << "'" << c.value << "'"; }
};

class StressSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(StressSplit, KeepsEveryPieceAsItIs) { EXPECT_EQ(splitStressQueries(GetParam().value), GetParam().pieces); }

INSTANTIATE_TEST_SUITE_P(Values, StressSplit,
                         ::testing::Values(SplitCase{"report,zzqx", {"report", "zzqx"}},
                                           SplitCase{"a,,b", {"a", "", "b"}}, SplitCase{"a,", {"a", ""}},
                                           SplitCase{",", {"", ""}}, SplitCase{" a , b", {" a ", " b"}},
                                           SplitCase{"report", {"report"}}));

struct TermsCase {
    const char* query;
    Strings terms;
    friend void PrintTo(const TermsCase& c, std::ostream* os) { *os << "'" << c.query << "'"; }
};

class StressTerms : public ::testing::TestWithParam<TermsCase> {};

TEST_P(StressTerms, AreThePlainTokensUnreduced) { EXPECT_EQ(stressTerms(GetParam().query), GetParam().terms); }

INSTANTIATE_TEST_SUITE_P(Queries, StressTerms,
                         ::testing::Values(TermsCase{"docs/report", {"docs/report"}}, TermsCase{"*.pdf", {}},
                                           TermsCase{"a", {"a"}}, TermsCase{"", {}}, TermsCase{"   ", {}},
                                           TermsCase{"  Report .pdf x  ", {"Report", "x"}},
                                           TermsCase{"\"big report\" ab", {"big report", "ab"}}));

TEST(StressLine, HasTheFixedShape) {
    EXPECT_EQ(stressLine(1, "report", 12, 85), "R1 'report' -> 12 in 85ms\n");
    EXPECT_EQ(stressLine(5, "", 0, 0), "R5 '' -> 0 in 0ms\n");
    EXPECT_EQ(stressLine(3, " a b ", 7, 1234), "R3 ' a b ' -> 7 in 1234ms\n");
}

// ---- start-up sequence in this process ----

class StartUp : public ModelTest {};

TEST_F(StartUp, WithoutVariablesTheRecentFilesRunStartsAtOnce) {
    index->answer(FakeIndex::recentCall(), {"/t/recent"});
    auto model = makeModel();
    model->start();
    EXPECT_EQ(model->serial(), 1);
    EXPECT_EQ(model->text(), "");
    EXPECT_EQ(model->sortKey(), SortKey::date);
    EXPECT_FALSE(model->sortAsc());
    ASSERT_TRUE(waitForPublication(*model));
    EXPECT_EQ(model->hits().size(), 1u);
    EXPECT_EQ(index->logMessages(), (Strings{"run#1 text=''", "first-done#1 paths=1"}));
}

TEST_F(StartUp, InitialQueryRunsWithoutDebounce) {
    index->answer(FakeIndex::nameCall("report"), {"/t/report"});
    env.set("QUILLFIND_QUERY", "report");
    auto model = makeModel();
    model->start();
    EXPECT_EQ(model->serial(), 1);
    EXPECT_EQ(model->text(), "report");
    EXPECT_EQ(model->sortKey(), SortKey::name);
    ASSERT_TRUE(waitForPublication(*model));
    EXPECT_EQ(index->calls(), Strings{FakeIndex::nameCall("report")});
    EXPECT_TRUE(index->logHas("run#1 text='report'"));
}

TEST_F(StartUp, AnEmptyInitialQueryCountsAsUnset) {
    env.set("QUILLFIND_QUERY", "");
    env.set("QUILLFIND_SIMULATE", "");
    auto model = makeModel();
    model->start();
    EXPECT_EQ(model->sortKey(), SortKey::date);
    ASSERT_TRUE(waitForPublication(*model));
    EXPECT_EQ(index->callCount(FakeIndex::recentCall()), 2);
}

TEST_F(StartUp, SimulateTypesTheQueryThreeSecondsLaterAndRunsItOnce) {
    env.set("QUILLFIND_SIMULATE", "report");
    index->answer(FakeIndex::recentCall(), {"/t/recent"});
    index->answer(FakeIndex::nameCall("report"), {"/t/report"});
    auto model = makeModel();
    // The window reacts to a new text as to typing.
    QObject::connect(model.get(), &Model::changed, model.get(), [&](Model::Property p) {
        if (p != Model::Property::text) return;
        model->setSelectedPath(std::nullopt);
        model->textChanged();
    });
    model->start();
    ASSERT_TRUE(waitUntil([&] { return index->logIndexOf("publish#2") >= 0; }, 8s));
    spin(600ms);
    const auto recent = index->logLine("run#1 text=''");
    const auto simulated = index->logLine("SIMULATE 'report'");
    const auto typed = index->logLine("run#2 text='report'");
    ASSERT_TRUE(recent && simulated && typed);
    EXPECT_GE(simulated->ms - recent->ms, 2990);
    EXPECT_GE(typed->ms - simulated->ms, 440);
    EXPECT_LT(index->logIndexOf("SIMULATE"), index->logIndexOf("run#2"));
    EXPECT_EQ(countPrefix(index->logMessages(), "run#"), 2);
    EXPECT_EQ(model->text(), "report");
    EXPECT_EQ(model->hits().size(), 1u);
}

TEST_F(StartUp, SimulateDoesNothingOnceTheModelIsGone) {
    env.set("QUILLFIND_SIMULATE", "report");
    auto model = makeModel();
    model->start();
    model.reset();
    spin(3300ms);
    EXPECT_EQ(index->logIndexOf("SIMULATE"), -1);
    EXPECT_EQ(countPrefix(index->logMessages(), "run#"), 1);
}

// ---- the unattended modes in a process of their own ----

struct HelperRun {
    int exitCode = -1;
    bool crashed = false;
    std::string stderrText;
};

class StressMode : public ModelTest {
protected:
    HelperRun runHelper(const std::map<std::string, std::string>& vars, int lifetimeMs) {
        const QString helper = QString::fromStdString(binDir() + "/model_test_helper");
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const auto& [name, value] : vars)
            environment.insert(QString::fromStdString(name), QString::fromStdString(value));
        process.setProcessEnvironment(environment);
        process.start(helper, {QString::number(lifetimeMs)});
        HelperRun run;
        if (!process.waitForStarted(5000)) {
            ADD_FAILURE() << "cannot start " << helper.toStdString();
            return run;
        }
        process.waitForFinished(lifetimeMs + 20000);
        run.crashed = process.exitStatus() != QProcess::NormalExit;
        run.exitCode = process.exitCode();
        run.stderrText = process.readAllStandardError().toStdString();
        return run;
    }

    static Strings lines(const std::string& text) {
        Strings out;
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find('\n', start);
            if (end == std::string::npos) {
                out.push_back(text.substr(start));
                break;
            }
            out.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return out;
    }

    // Checks the R lines (times vary) against the expected passes.
    static void expectStressLines(const std::string& text, const std::vector<std::pair<std::string, int>>& perPass) {
        const Strings got = lines(text);
        ASSERT_EQ(got.size(), perPass.size() * 5 + 1) << text;
        EXPECT_EQ(text.back(), '\n');
        const QRegularExpression shape("^R(\\d+) '(.*)' -> (\\d+) in (\\d+)ms$");
        std::size_t i = 0;
        for (int pass = 1; pass <= 5; ++pass) {
            for (const auto& [query, size] : perPass) {
                const auto match = shape.match(QString::fromStdString(got[i]));
                ASSERT_TRUE(match.hasMatch()) << got[i];
                EXPECT_EQ(match.captured(1).toInt(), pass) << got[i];
                EXPECT_EQ(match.captured(2).toStdString(), query) << got[i];
                EXPECT_EQ(match.captured(3).toInt(), size) << got[i];
                ++i;
            }
        }
        EXPECT_EQ(got.back(), "STRESS_DONE");
    }

    std::map<std::string, std::string> baseVars() const {
        return {{"QUILLFIND_MDFIND", index->path("mdfind")}, {"QUILLFIND_DEBUG_LOG", index->logPath()},
                {"QT_QPA_PLATFORM", "offscreen"}};
    }
};

TEST_F(StressMode, ReplaysEveryQueryFiveTimesAndEndsTheProcess) {
    Strings twelve;
    for (int i = 0; i < 12; ++i) twelve.push_back("/t/report" + std::to_string(i));
    index->answer(FakeIndex::nameCall("report"), twelve);
    auto vars = baseVars();
    vars["QUILLFIND_STRESS"] = "report,zzqx";
    const HelperRun run = runHelper(vars, 30000);
    EXPECT_FALSE(run.crashed);
    EXPECT_EQ(run.exitCode, 0);
    expectStressLines(run.stderrText, {{"report", 12}, {"zzqx", 0}});
    // The calls alternate, one after the other; no search run took place.
    Strings expectedCalls;
    for (int pass = 0; pass < 5; ++pass) {
        expectedCalls.push_back(FakeIndex::nameCall("report"));
        expectedCalls.push_back(FakeIndex::nameCall("zzqx"));
    }
    EXPECT_EQ(index->calls(), expectedCalls);
    EXPECT_EQ(countPrefix(index->logMessages(), "run#"), 0);
    EXPECT_EQ(countPrefix(index->logMessages(), "tok 'report' -> 12 lines"), 5);
}

TEST_F(StressMode, EmptyPiecesAndOneCharacterQueries) {
    auto vars = baseVars();
    vars["QUILLFIND_STRESS"] = "a,,b";
    index->answer(FakeIndex::nameCall("a"), {"/t/a1", "/t/a2"});
    const HelperRun run = runHelper(vars, 30000);
    EXPECT_EQ(run.exitCode, 0);
    expectStressLines(run.stderrText, {{"a", 2}, {"", 0}, {"b", 0}});
    EXPECT_EQ(index->callCount(FakeIndex::nameCall("a")), 5);
    EXPECT_EQ(index->callCount(FakeIndex::nameCall("b")), 5);
    EXPECT_EQ(index->calls().size(), 10u);
}

TEST_F(StressMode, PatternOnlyQueriesAskNothing) {
    auto vars = baseVars();
    vars["QUILLFIND_STRESS"] = "*.pdf";
    const HelperRun run = runHelper(vars, 30000);
    EXPECT_EQ(run.exitCode, 0);
    expectStressLines(run.stderrText, {{"*.pdf", 0}});
    EXPECT_TRUE(index->calls().empty());
}

TEST_F(StressMode, PathLikeQueriesGoToTheIndexWhole) {
    auto vars = baseVars();
    vars["QUILLFIND_STRESS"] = "docs/report";
    index->answer(FakeIndex::nameCall("docs/report"), {"/t/x"});
    const HelperRun run = runHelper(vars, 30000);
    EXPECT_EQ(run.exitCode, 0);
    expectStressLines(run.stderrText, {{"docs/report", 1}});
    EXPECT_EQ(index->callCount(FakeIndex::nameCall("docs/report")), 5);
}

TEST_F(StressMode, InitialQueryWinsOverStressAndSimulate) {
    auto vars = baseVars();
    vars["QUILLFIND_QUERY"] = "report";
    vars["QUILLFIND_STRESS"] = "report";
    vars["QUILLFIND_SIMULATE"] = "zzqx";
    index->answer(FakeIndex::nameCall("report"), {"/t/report"});
    const HelperRun run = runHelper(vars, 3600);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.stderrText, "HELPER_END\n");
    EXPECT_TRUE(index->logHas("run#1 text='report'"));
    EXPECT_TRUE(index->logHas("publish#1 total=1"));
    EXPECT_EQ(index->logIndexOf("SIMULATE"), -1);
    EXPECT_EQ(index->callCount(FakeIndex::nameCall("report")), 1);
}

TEST_F(StressMode, StressWinsOverSimulate) {
    auto vars = baseVars();
    vars["QUILLFIND_STRESS"] = "slow";
    vars["QUILLFIND_SIMULATE"] = "zzqx";
    // Five calls of 0.7 s keep the process alive past the 3 s mark.
    index->delay(FakeIndex::nameCall("slow"), 0.7);
    const HelperRun run = runHelper(vars, 30000);
    EXPECT_EQ(run.exitCode, 0);
    expectStressLines(run.stderrText, {{"slow", 0}});
    EXPECT_EQ(index->logIndexOf("SIMULATE"), -1);
    EXPECT_EQ(countPrefix(index->logMessages(), "run#"), 0);
}

}  // namespace
}  // namespace qf::test
