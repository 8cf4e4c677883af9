#include <gtest/gtest.h>

#include "mdfind_arguments.h"

namespace qf::index {
namespace {

using Op = Request::Op;

std::time_t fixedNow() { return 1710506096; }  // 2024-03-15 12:34:56 UTC

std::variant<MdfindCommand, ParseError> parseArgs(std::vector<std::string> args) {
    return parseMdfindArguments(args, fixedNow(), "/home/u/work");
}

TEST(MdfindArgumentsTest, NameTermIsTakenWhole) {
    for (const char* t : {"big report", "it's", "-dash", "--status", "报告", "a\tb"}) {
        auto parsed = parseArgs({"-name", t});
        ASSERT_TRUE(std::holds_alternative<MdfindCommand>(parsed)) << t;
        EXPECT_EQ(std::get<MdfindCommand>(parsed).request.op, Op::nameContains);
        EXPECT_EQ(std::get<MdfindCommand>(parsed).request.value, t);
    }
    auto dashed = parseArgs({"--", "-name"});  // "--" ends the options
    ASSERT_TRUE(std::holds_alternative<MdfindCommand>(dashed));
    EXPECT_EQ(std::get<MdfindCommand>(dashed).request.value, "-name");
}

TEST(MdfindArgumentsTest, OptionsCombine) {
    auto parsed =
        parseArgs({"-onlyin", "docs/", "-0", "-count", "-onlyin", "/tmp/../srv//x", "kMDItemFSName == '*.txt'cd"});
    ASSERT_TRUE(std::holds_alternative<MdfindCommand>(parsed));
    const MdfindCommand& cmd = std::get<MdfindCommand>(parsed);
    EXPECT_TRUE(cmd.nulSeparated);
    EXPECT_TRUE(cmd.request.countOnly);
    EXPECT_EQ(cmd.request.op, Op::nameGlob);
    EXPECT_EQ(cmd.request.onlyIn, (std::vector<std::string>{"/home/u/work/docs", "/srv/x"}));
    auto status = parseArgs({"--status"});
    ASSERT_TRUE(std::holds_alternative<MdfindCommand>(status));
    EXPECT_EQ(std::get<MdfindCommand>(status).request.op, Op::status);
    auto start = parseArgs({"--start-service"});
    ASSERT_TRUE(std::holds_alternative<MdfindCommand>(start));
    EXPECT_TRUE(std::get<MdfindCommand>(start).startServiceOnly);
}

TEST(MdfindArgumentsTest, Errors) {
    const std::vector<std::vector<std::string>> bad = {
        // No arguments, a lone -name, -bogus, two queries and a broken query: see the process tests.
        {"-name", ""},
        {"-name", "a", "-name", "b"},
        {"-name", "a", "query"},
        {"-onlyin"},
        {"--status", "-name", "a"}};
    for (const auto& args : bad) {
        auto parsed = parseArgs(args);
        ASSERT_TRUE(std::holds_alternative<ParseError>(parsed)) << ::testing::PrintToString(args);
        EXPECT_FALSE(std::get<ParseError>(parsed).message.empty());
    }
}

}  // namespace
}  // namespace qf::index
