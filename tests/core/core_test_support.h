#pragma once
// Core-test isolation: a private debug log per test process and a fake
// mdfind that answers from fixtures.
#include <string>
#include <vector>

#include "common/test_support.h"

namespace qf::test {

using Args = std::vector<std::string>;
using Lines = std::vector<std::string>;

Lines linesOf(const std::string& text);
// The arguments of a by-name call, and of a name query as mdfind receives it.
Args byName(const std::string& term);
Args nameQuery(const std::string& value);

// The debug log of this test process; its lines without the "<ms>ms " prefix.
std::string debugLogFile();
void clearDebugLog();
Lines debugMessages();

// Installs the fake as "mdfind" in a temporary folder and points
// QUILLFIND_MDFIND at it for the fake's lifetime.
class FakeMdfind {
public:
    FakeMdfind();
    // What a call with exactly these arguments prints (".out") or exits
    // with (".status").
    void set(const Args& args, const std::string& suffix, const std::string& content);
    void answer(const Args& args, const Lines& lines);
    // How many calls there were so far.
    std::size_t callCount() const;

private:
    TempDir dir_;
    std::string executable_;
    ScopedEnv mdfind_;
    ScopedEnv fixture_;
};

}  // namespace qf::test
