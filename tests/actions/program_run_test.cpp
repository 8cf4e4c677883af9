#include "actions/program_run.h"

#include <csignal>
#include <gtest/gtest.h>

namespace qf {
namespace {

TEST(RunProgramAndWait, ReportsExitStatusSignalAndStartFailure) {
    struct Case {
        std::string program;
        std::vector<std::string> args;
        bool started;
        int status;
    };
    const Case cases[] = {
        {"/bin/sh", {"-c", "exit 0"}, true, 0},
        {"/bin/sh", {"-c", "exit 3"}, true, 3},
        {"/bin/sh", {"-c", "kill -TERM $$"}, true, SIGTERM},
        {"/bin/sh", {"-c", "test \"$1\" = 'a b'", "sh", "a b"}, true, 0},  // arguments are passed verbatim
        {"/nonexistent/ditto", {}, false, -1},
    };
    for (const Case& c : cases) {
        const ProgramResult r = runProgramAndWait(c.program, c.args);
        EXPECT_EQ(r.started, c.started) << c.program;
        if (c.started) {
            EXPECT_EQ(r.exitStatus, c.status) << c.args.back();
        } else {
            EXPECT_NE(r.error.find("/nonexistent/ditto"), std::string::npos) << r.error;
        }
    }
}

}  // namespace
}  // namespace qf
