#include <gtest/gtest.h>

#include "mdfind_arguments.h"

namespace qf::index {
namespace {

// The parsed command in words: "op:value", the -onlyin folders and flags.
std::string parsed(const std::vector<std::string>& args) {
    auto result = parseMdfindArguments(args, 1710506096, "/home/u/work");
    if (auto* error = std::get_if<ParseError>(&result)) return error->message.empty() ? "silent error" : "error";
    const MdfindCommand& c = std::get<MdfindCommand>(result);
    std::string text =
        std::vector<std::string>{"contains", "glob", "changed", "status"}.at(static_cast<size_t>(c.request.op));
    text += ":" + c.request.value;
    for (const std::string& folder : c.request.onlyIn) text += " in " + folder;
    if (c.request.countOnly) text += " count";
    if (c.nulSeparated) text += " nul";
    if (c.startServiceOnly) text += " start";
    return text;
}

TEST(MdfindArgumentsTest, Parses) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        // The term after -name is taken whole.
        {{"-name", "big report"}, "contains:big report"},
        {{"-name", "it's"}, "contains:it's"},
        {{"-name", "-dash"}, "contains:-dash"},
        {{"-name", "--status"}, "contains:--status"},
        {{"-name", "报告"}, "contains:报告"},
        {{"-name", "a\tb"}, "contains:a\tb"},
        {{"--", "-name"}, "contains:-name"},  // "--" ends the options
        {{"-onlyin", "docs/", "-0", "-count", "-onlyin", "/tmp/../srv//x", "kMDItemFSName == '*.txt'cd"},
         "glob:*.txt in /home/u/work/docs in /srv/x count nul"},
        {{"--status"}, "status:"},
        {{"--start-service"}, "status: start"},
        // No arguments, a lone -name, -bogus, two queries and a broken query: see the process tests.
        {{"-name", ""}, "error"},
        {{"-name", "a", "-name", "b"}, "error"},
        {{"-name", "a", "query"}, "error"},
        {{"-onlyin"}, "error"},
        {{"--status", "-name", "a"}, "error"},
    };
    for (const auto& [args, expected] : cases) EXPECT_EQ(parsed(args), expected) << ::testing::PrintToString(args);
}

}  // namespace
}  // namespace qf::index
