#include "support.h"

#include <QApplication>
#include <algorithm>
#include <filesystem>

#include "actions/program_run.h"
#include "actions/trash.h"

namespace qf::test {

namespace {

// Widgets, the clipboard and queued calls need one application object for
// the whole test program.
class QtEnvironment : public ::testing::Environment {
    void SetUp() override {
        static char name[] = "test_actions";
        static char* argv[] = {name, nullptr};
        static int argc = 1;
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }
    std::unique_ptr<QApplication> app_;
};

const auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

ActionsTest::ActionsTest() {
    desktop_.trashHook = moveItemToTrash;
    desktop_.runProgramHook = runProgramAndWait;
}

void ActionsTest::expectOnlyFailure(const std::string& title, const std::string& detail, const std::string& what) {
    ASSERT_EQ(desktop_.alerts.size(), 1u) << what;
    EXPECT_EQ(desktop_.alerts[0].title, title) << what;
    EXPECT_EQ(desktop_.alerts[0].detail, detail) << what;
    EXPECT_EQ(desktop_.alerts[0].buttons, std::vector<std::string>{"好"}) << what;
}

std::string errorText(std::errc e) { return std::make_error_code(e).message(); }

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::map<std::string, std::string> treeUnder(const std::string& folder) {
    std::map<std::string, std::string> tree;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string relative = std::filesystem::relative(e.path(), folder);
        if (e.is_symlink()) {
            tree[relative] = "-> " + std::filesystem::read_symlink(e.path()).string();
        } else if (e.is_directory()) {
            tree[relative] = "<dir>";
        } else {
            tree[relative] = readFile(e.path());
        }
    }
    return tree;
}

}  // namespace qf::test
