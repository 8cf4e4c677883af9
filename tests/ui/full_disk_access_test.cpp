// The full disk access probe rule.
#include <gtest/gtest.h>

#include <QFile>
#include <sys/stat.h>

#include "ui/full_disk_access.h"
#include "ui_test_support.h"

namespace qf {
namespace {

using O = ProbeOutcome;

struct ProbeCase {
    const char* what;
    std::vector<O> outcomes;  // of the three probes, in order
    bool expected;
    std::size_t probesTried;
};

void PrintTo(const ProbeCase& c, std::ostream* os) { *os << c.what; }

class ProbeRule : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeRule, AnswersAndStopsWhereTheRuleSays) {
    const ProbeCase& c = GetParam();
    const std::vector<std::string> paths{"/p1", "/p2", "/p3"};
    std::vector<std::string> tried;
    const bool answer = hasFullDiskAccess(paths, [&](const std::string& path) {
        tried.push_back(path);
        return c.outcomes.at(tried.size() - 1);
    });
    EXPECT_EQ(answer, c.expected) << c.what;
    ASSERT_EQ(tried.size(), c.probesTried) << c.what;
    for (std::size_t i = 0; i < tried.size(); ++i) EXPECT_EQ(tried[i], paths[i]) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, ProbeRule,
    ::testing::Values(ProbeCase{"none exists", {O::unavailable, O::unavailable, O::unavailable}, true, 3},
                      ProbeCase{"first opens", {O::opened, O::refused, O::refused}, true, 1},
                      ProbeCase{"first refused", {O::refused, O::opened, O::opened}, false, 1},
                      ProbeCase{"missing then refused", {O::unavailable, O::refused, O::opened}, false, 2},
                      ProbeCase{"missing then opens", {O::unavailable, O::opened, O::refused}, true, 2},
                      ProbeCase{"only the last refused", {O::unavailable, O::unavailable, O::refused}, false, 3}));

TEST(FullDiskAccess, ProbePathsAreTheProtectedFoldersInOrder) {
    const auto paths = fullDiskAccessProbePaths();
    const std::string home = QDir::homePath().toStdString();
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(paths[0], "/Library/Application Support/com.apple.TCC");
    EXPECT_EQ(paths[1], home + "/Library/Safari");
    EXPECT_EQ(paths[2], home + "/Library/Mail");
}

TEST(FullDiskAccess, RealProbeOfFilesFoldersAndMissingPaths) {
    test::Sandbox box;
    const std::string file = box.writeFile(QStringLiteral("readable"), "x").toStdString();
    const std::string folder = box.makeFolder(QStringLiteral("folder")).toStdString();
    const std::string missing = box.path().toStdString() + "/missing";
    EXPECT_EQ(probePath(file), O::opened);
    EXPECT_EQ(probePath(folder), O::opened);
    EXPECT_EQ(probePath(missing), O::unavailable);
    EXPECT_TRUE(hasFullDiskAccess({missing, missing + "2", missing + "3"}));
    EXPECT_TRUE(hasFullDiskAccess({missing, file}));
}

TEST(FullDiskAccess, AFifoAtAProbePathDoesNotBlock) {
    test::Sandbox box;
    const std::string fifo = box.path(QStringLiteral("pipe")).toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A blocking open would wait here for a writer that never comes.
    EXPECT_EQ(probePath(fifo), O::opened);
}

TEST(FullDiskAccess, RealProbeOfARefusedPath) {
    // Root is never refused, so the kernel cannot be made to refuse here.
    if (::geteuid() == 0) GTEST_SKIP() << "running as root";
    test::Sandbox box;
    const QString locked = box.makeFolder(QStringLiteral("locked"));
    const std::string inner = box.writeFile(QStringLiteral("locked/inner"), "x").toStdString();
    QFile::setPermissions(locked, QFile::Permissions());
    EXPECT_EQ(probePath(inner), O::refused);
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST(FullDiskAccess, SettingsLinkIsTheFullDiskAccessPane) {
    EXPECT_EQ(fullDiskAccessSettingsLink(), "x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles");
}

}  // namespace
}  // namespace qf
