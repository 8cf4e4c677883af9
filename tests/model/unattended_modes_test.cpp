// Start-up variables, stress mode and simulate mode.
#include <gtest/gtest.h>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <map>

#include "model/stress.h"
#include "model_test_support.h"

namespace qf::test {
namespace {

using namespace std::chrono_literals;

// ---- pure pieces of stress mode ----

TEST(StressMode, SplitsQueriesAndKeepsThePlainTokensUnreduced) {
    EXPECT_EQ(splitStressQueries(" a , b,"), (Strings{" a ", " b", ""}));
    const std::pair<const char*, Strings> terms[] = {{"   ", {}},
                                                     {"docs/report", {"docs/report"}},
                                                     {"*.pdf", {}},
                                                     {"  Report .pdf x  ", {"Report", "x"}},
                                                     {"\"big report\" ab", {"big report", "ab"}}};
    for (const auto& [query, expected] : terms) EXPECT_EQ(stressTerms(query), expected) << query;
}

// ---- start-up sequence in this process (the initial query: in a helper) ----

class StartUp : public ModelTest {};

TEST_F(StartUp, RunsTheRecentFilesAtOnceAndTypesTheSimulatedQueryLater) {
    index.answer(FakeIndex::recentCall(), {"/t/recent"});
    index.answer(FakeIndex::nameCall("report"), {"/t/report"});
    // A Model that is gone at once never simulates.
    setEnv("QUILLFIND_SIMULATE", "gone");
    makeModel()->start();
    setEnv("QUILLFIND_SIMULATE", "report");
    auto model = makeModel();
    // The window reacts to a new text as to typing.
    QObject::connect(model.get(), &Model::changed, model.get(), [&](Model::Property p) {
        if (p == Model::Property::text) model->textChanged();
    });
    model->start();
    EXPECT_EQ(model->serial(), 1);
    EXPECT_EQ(model->sortKey(), SortKey::date);

    ASSERT_TRUE(waitUntil([&] { return index.logCount("publish#2") > 0; }, 8s));
    spin(500ms);                    // a second debounce period
    std::optional<LogLine> recent;  // the living Model's, which started last
    for (const auto& line : index.log())
        if (line.message == "run#1 text=''") recent = line;
    const auto simulated = index.logLine("SIMULATE 'report'");
    const auto typed = index.logLine("run#2 text='report'");
    ASSERT_TRUE(recent && simulated && typed);
    EXPECT_GE(simulated->ms - recent->ms, 2990);
    EXPECT_GE(typed->ms - simulated->ms, 440);
    EXPECT_EQ(index.logCount("SIMULATE"), 1);
    EXPECT_EQ(index.logCount("run#2"), 1);
    EXPECT_EQ(index.logCount("run#3"), 0);
    EXPECT_EQ(model->text(), "report");
    EXPECT_EQ(pathsOf(model->hits()), Strings{"/t/report"});
}

// ---- the unattended modes in a process of their own ----

struct HelperCase {
    const char* name;
    std::map<std::string, std::string> vars;
    std::map<std::string, Strings> answers;
    std::map<std::string, double> delays;
    int lifetimeMs;
    std::vector<std::pair<std::string, int>> passes;  // query and result size; none: no stress run
    Strings calls;
    Strings log;  // lines the debug log must hold
};

// Every R line (times vary) for five passes, then STRESS_DONE.
void expectStressOutput(const std::string& text, const std::vector<std::pair<std::string, int>>& perPass) {
    const QStringList got = QString::fromStdString(text).split('\n');
    ASSERT_EQ(static_cast<std::size_t>(got.size()), perPass.size() * 5 + 2) << text;
    EXPECT_EQ(got.back(), "");  // the output ends with a line feed
    EXPECT_EQ(got[got.size() - 2], "STRESS_DONE");
    const QRegularExpression shape("^R(\\d+) '(.*)' -> (\\d+) in (\\d+)ms$");
    int i = 0;
    for (int pass = 1; pass <= 5; ++pass) {
        for (const auto& [query, size] : perPass) {
            const auto match = shape.match(got[i++]);
            ASSERT_TRUE(match.hasMatch()) << got[i - 1].toStdString();
            EXPECT_EQ(match.captured(1).toInt(), pass);
            EXPECT_EQ(match.captured(2).toStdString(), query);
            EXPECT_EQ(match.captured(3).toInt(), size);
        }
    }
}

Strings repeated(const Strings& calls, int times) {
    Strings out;
    for (int i = 0; i < times; ++i) out.insert(out.end(), calls.begin(), calls.end());
    return out;
}

// The helper programs run side by side, each on a fake index of its own.
TEST(UnattendedModes, StressReplaysEveryQueryFiveTimesAndEndsTheProcess) {
    ensureApp();
    const std::string report = FakeIndex::nameCall("report");
    Strings twelve;
    for (int i = 0; i < 12; ++i) twelve.push_back("/t/report" + std::to_string(i));
    const HelperCase cases[] = {
        // The calls alternate, one after the other; an empty piece asks nothing,
        // one character is a name term; no search run takes place.
        {"three queries",
         {{"QUILLFIND_STRESS", "report,,b"}},
         {{report, twelve}},
         {},
         30000,
         {{"report", 12}, {"", 0}, {"b", 0}},
         repeated({report, FakeIndex::nameCall("b")}, 5),
         {"tok 'report' -> 12 lines"}},
        // Set but empty counts as unset.
        {"an empty initial query counts as unset",
         {{"QUILLFIND_QUERY", ""}, {"QUILLFIND_STRESS", "zzqx"}},
         {},
         {},
         30000,
         {{"zzqx", 0}},
         repeated({FakeIndex::nameCall("zzqx")}, 5),
         {}},
        // Five calls of 0.7 s keep the process alive past the simulate mark.
        {"stress wins over simulate",
         {{"QUILLFIND_STRESS", "slow"}, {"QUILLFIND_SIMULATE", "zzqx"}},
         {},
         {{FakeIndex::nameCall("slow"), 0.7}},
         30000,
         {{"slow", 0}},
         repeated({FakeIndex::nameCall("slow")}, 5),
         {}},
        // Alive past the simulate mark, which must not come.
        {"initial query wins",
         {{"QUILLFIND_QUERY", "report"}, {"QUILLFIND_STRESS", "report"}, {"QUILLFIND_SIMULATE", "zzqx"}},
         {{report, {"/t/report"}}},
         {},
         3600,
         {},
         {report},
         {"run#1 text='report'", "publish#1 total=1"}},
    };
    std::vector<std::unique_ptr<FakeIndex>> indexes;
    std::vector<std::unique_ptr<QProcess>> processes;
    for (const auto& c : cases) {
        auto& fake = *indexes.emplace_back(std::make_unique<FakeIndex>());
        for (const auto& [call, lines] : c.answers) fake.answer(call, lines);
        for (const auto& [call, seconds] : c.delays) fake.delay(call, seconds);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QUILLFIND_QUERY", "QUILLFIND_STRESS", "QUILLFIND_SIMULATE", "QUILLFIND_DUMP"})
            environment.remove(name);
        environment.insert("QUILLFIND_MDFIND", QString::fromStdString(fake.path("mdfind")));
        environment.insert("QUILLFIND_DEBUG_LOG", QString::fromStdString(fake.logPath()));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        for (const auto& [name, value] : c.vars)
            environment.insert(QString::fromStdString(name), QString::fromStdString(value));
        auto& process = *processes.emplace_back(std::make_unique<QProcess>());
        process.setProcessEnvironment(environment);
        process.start(QString::fromStdString(binDir() + "/model_test_helper"), {QString::number(c.lifetimeMs)});
        ASSERT_TRUE(process.waitForStarted(5000)) << c.name;
    }
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const HelperCase& c = cases[i];
        SCOPED_TRACE(c.name);
        QProcess& process = *processes[i];
        ASSERT_TRUE(process.waitForFinished(c.lifetimeMs + 20000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        const std::string output = process.readAllStandardError().toStdString();
        if (c.passes.empty())
            EXPECT_EQ(output, "HELPER_END\n");
        else
            expectStressOutput(output, c.passes);
        const FakeIndex& fake = *indexes[i];
        EXPECT_EQ(fake.calls(), c.calls);
        EXPECT_EQ(fake.logCount("SIMULATE"), 0);
        EXPECT_EQ(fake.logCount("run#"), c.passes.empty() ? 1 : 0);
        for (const auto& line : c.log) EXPECT_TRUE(fake.logHas(line)) << line;
    }
}

}  // namespace
}  // namespace qf::test
