// Start-up variables, stress mode and simulate mode. Stress mode ends the
// process, so its task runs here apart from start(); the desktop tests run
// the program in stress mode.
#include <gtest/gtest.h>
#include <QElapsedTimer>

#include <regex>

#include "model/stress.h"
#include "model_test_support.h"

namespace qf::test {
namespace {

using Startup = ModelTest;

TEST_F(Startup, StressReplaysEveryPieceFiveTimesAndSaysHowManyItFound) {
    index.answer(byName("report"), {"/t/report1", "/t/report2"});
    index.answer(byName("docs/Report"), {"/t/x"});
    index.answer(byName("big x"), {"/t/x"});
    std::string output;
    runStress(splitStressQueries("report,, b,docs/Report .pdf \"big x\","),
              [&](const std::string& line) { output += std::regex_replace(line, std::regex(" in \\d+ms\n"), "\n"); });
    // Pieces as they are: an empty one asks nothing, one character is a name
    // term, plain tokens are asked unreduced and with their case, patterns
    // not at all.
    const std::pair<std::string, int> pieces[] = {
        {"report", 2}, {"", 0}, {" b", 0}, {"docs/Report .pdf \"big x\"", 1}, {"", 0}};
    std::string lines;
    Calls calls;
    for (const std::string pass : {"1", "2", "3", "4", "5"}) {
        for (const auto& [query, size] : pieces)
            lines += "R" + pass + " '" + query + "' -> " + std::to_string(size) + "\n";
        calls.insert(calls.end(), {byName("report"), byName("b"), byName("docs/Report"), byName("big x")});
    }
    EXPECT_EQ(output, lines + "STRESS_DONE\n");
    EXPECT_EQ(index.calls(), calls);
}

TEST_F(Startup, SimulateTypesItsQueryAfterThreeSecondsUnlessAnInitialQueryRunsAtOnce) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    setEnv("QUILLFIND_SIMULATE", "report");
    setEnv("QUILLFIND_QUERY", "");  // set but empty counts as unset
    auto simulated = makeModel();
    simulated->start();
    setEnv("QUILLFIND_QUERY", "docs");
    auto initial = makeModel();
    initial->start();
    // Both run at once: the recent files, the initial query.
    EXPECT_EQ(simulated->serial(), 1);
    EXPECT_EQ(std::pair(initial->serial(), initial->text()), std::pair(std::int64_t{1}, std::string("docs")));

    ASSERT_TRUE(waitUntil([&] { return simulated->text() == "report"; }));
    EXPECT_GE(sinceStart.elapsed(), 3000);
    ASSERT_TRUE(waitUntil([&] { return simulated->serial() == 2; }));
    EXPECT_GE(sinceStart.elapsed(), 3440);  // typed, so after the debounce delay
    spin(600ms);
    EXPECT_EQ(simulated->serial(), 2);
    EXPECT_EQ(std::pair(initial->serial(), initial->text()), std::pair(std::int64_t{1}, std::string("docs")));
}

}  // namespace
}  // namespace qf::test
