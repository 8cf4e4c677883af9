// Start-up variables, stress mode and simulate mode.
#include <gtest/gtest.h>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <map>

#include "model_test_support.h"

namespace qf::test {
namespace {

// The unattended modes end the process: the Model of a helper program on `fake`'s index, with these start-up
// variables alone; the helper quits after `lifetimeMs` unless the Model ends it.
std::unique_ptr<QProcess> startHelper(const FakeIndex& fake, const std::map<QString, QString>& vars, int lifetimeMs) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QUILLFIND_QUERY", "QUILLFIND_STRESS", "QUILLFIND_SIMULATE", "QUILLFIND_DUMP"})
        environment.remove(name);
    environment.insert("QUILLFIND_MDFIND", QString::fromStdString(fake.path("mdfind")));
    environment.insert("QUILLFIND_DEBUG_LOG", QString::fromStdString(fake.logPath()));
    for (const auto& [name, value] : vars) environment.insert(name, value);
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment);
    process->start(QString::fromStdString(binDir() + "/model_test_helper"), {QString::number(lifetimeMs)});
    return process;
}

// The helpers run side by side.
TEST(UnattendedModes, StressAndSimulateModesAndTheInitialQueryWhichWinsOverBoth) {
    ensureApp();
    const std::string report = nameCall("report");
    FakeIndex stressIndex, initialIndex, simulateIndex;
    stressIndex.answer(report, {"/t/report1", "/t/report2"});
    stressIndex.answer(nameCall("docs/Report"), {"/t/x"});
    stressIndex.answer(nameCall("big x"), {"/t/x"});
    initialIndex.answer(report, {"/t/report"});
    simulateIndex.answer(report, {"/t/report"});
    simulateIndex.answer(recentCall(), {"/t/recent"});
    // An initial query that is set but empty counts as unset.
    const auto stress = startHelper(
        stressIndex, {{"QUILLFIND_STRESS", "report,, b,docs/Report .pdf \"big x\","}, {"QUILLFIND_QUERY", ""}}, 30000);
    // Alive past the simulate mark, which must not come.
    const auto initial = startHelper(
        initialIndex, {{"QUILLFIND_QUERY", "report"}, {"QUILLFIND_STRESS", "report"}, {"QUILLFIND_SIMULATE", "zzqx"}},
        3600);
    const auto simulate = startHelper(simulateIndex, {{"QUILLFIND_SIMULATE", "report"}}, 4500);

    for (QProcess* process : {stress.get(), initial.get(), simulate.get()}) {
        ASSERT_TRUE(process->waitForFinished(50000));
        EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process->exitCode(), 0);
    }
    // Five passes of every piece, spaces kept; the calls alternate, one after
    // the other. An empty piece asks nothing, one character is a name term,
    // plain tokens are asked unreduced and with their case, patterns not at
    // all; no search run takes place.
    const std::pair<std::string, int> pieces[] = {
        {"report", 2}, {"", 0}, {" b", 0}, {"docs/Report .pdf \"big x\"", 1}, {"", 0}};
    std::string lines;
    Strings calls;
    for (const std::string pass : {"1", "2", "3", "4", "5"}) {
        for (const auto& [query, size] : pieces)
            lines += "R" + pass + " '" + query + "' -> " + std::to_string(size) + "\n";
        calls.insert(calls.end(), {report, nameCall("b"), nameCall("docs/Report"), nameCall("big x")});
    }
    // The times of the stress lines left out.
    QString output = QString::fromUtf8(stress->readAllStandardError());
    EXPECT_EQ(output.replace(QRegularExpression(" in \\d+ms\n"), "\n").toStdString(), lines + "STRESS_DONE\n");
    EXPECT_EQ(stressIndex.calls(), calls);
    EXPECT_TRUE(stressIndex.logHas("tok 'report' -> 2 lines"));
    EXPECT_EQ(stressIndex.logCount("run#"), 0);

    EXPECT_EQ(initial->readAllStandardError().toStdString(), "HELPER_END\n");
    EXPECT_EQ(initialIndex.calls(), Strings{report});
    EXPECT_EQ(initialIndex.logMessages(), (Strings{"run#1 text='report'", "tok 'report' -> 1 lines",
                                                   "query#1 inter=1 arr=1 lits=[\"report\"]", "publish#1 total=1"}));

    // The recent files at once; the simulated query is typed after three
    // seconds and runs once, after the debounce delay.
    EXPECT_EQ(simulate->readAllStandardError().toStdString(), "HELPER_END\n");
    const auto recent = simulateIndex.logMs("run#1 text=''"), typed = simulateIndex.logMs("SIMULATE 'report'"),
               run = simulateIndex.logMs("run#2 text='report'");
    ASSERT_TRUE(recent && typed && run);
    EXPECT_GE(*typed - *recent, 2990);
    EXPECT_GE(*run - *typed, 440);
    EXPECT_EQ(simulateIndex.logCount("run#3"), 0);
    EXPECT_TRUE(simulateIndex.logHas("publish#2 total=1"));
}

}  // namespace
}  // namespace qf::test
