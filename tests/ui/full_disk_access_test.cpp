// The full disk access probe rule, and the probe itself on real paths.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ui/full_disk_access.h"
#include "ui_test_support.h"

namespace qf {
namespace {

using O = ProbeOutcome;

TEST(FullDiskAccess, FirstOpenedOrRefusedProbeAnswersMissingOnesArePassedOver) {
    // The outcomes of the three probes, the answer, how many were tried.
    const std::tuple<std::vector<O>, bool, std::size_t> cases[] = {
        {{O::unavailable, O::unavailable, O::unavailable}, true, 3},  // a system without the protection
        {{O::opened, O::refused, O::refused}, true, 1},
        {{O::refused, O::opened, O::opened}, false, 1},
        {{O::unavailable, O::refused, O::opened}, false, 2},
        {{O::unavailable, O::opened, O::refused}, true, 2},
    };
    const std::vector<std::string> paths{"/p1", "/p2", "/p3"};
    for (const auto& [outcomes, expected, probesTried] : cases) {
        std::vector<std::string> tried;
        const bool answer = hasFullDiskAccess(paths, [&](const std::string& path) {
            tried.push_back(path);
            return outcomes.at(tried.size() - 1);
        });
        EXPECT_EQ(answer, expected) << probesTried;
        EXPECT_EQ(tried, std::vector<std::string>(paths.begin(), paths.begin() + probesTried)) << expected;
    }

    test::TempDir dir;
    test::writeFile(dir / "readable", "x");
    ASSERT_EQ(::mkdir((dir / "folder").c_str(), 0700), 0);
    // A blocking open would wait on the FIFO for a writer that never comes.
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    for (const auto& [name, outcome] :
         {std::pair{"readable", O::opened}, {"folder", O::opened}, {"pipe", O::opened}, {"missing", O::unavailable}})
        EXPECT_EQ(probePath(dir / name), outcome) << name;

    // A file this user may not read is a refusal. Root reads everything, so
    // its probe runs as nobody.
    const std::string locked = dir / "locked";  // made before the fork: the child allocates nothing
    test::writeFile(locked, "x");
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(99);
        ::_exit(static_cast<int>(probePath(locked)));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(O::refused));
}

}  // namespace
}  // namespace qf
