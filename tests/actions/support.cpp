#include "support.h"

#include <QApplication>
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

void ActionsTest::restart() {
    desktop_.calls.clear();
    desktop_.alerts.clear();
    serialAtStart_ = model_->serial();
}

void ActionsTest::expectOnlyFailure(const std::string& title, const std::string& detail, const std::string& what) {
    ASSERT_EQ(desktop_.alerts.size(), title.empty() ? 0u : 1u) << what;
    if (title.empty()) return;
    EXPECT_EQ(desktop_.alerts[0].title, title) << what;
    EXPECT_EQ(desktop_.alerts[0].detail, detail) << what;
    EXPECT_EQ(desktop_.alerts[0].buttons, std::vector<std::string>{"好"}) << what;
}

std::string errorText(std::errc e) { return std::make_error_code(e).message(); }

std::map<std::string, std::string> treeUnder(const std::string& folder) {
    std::map<std::string, std::string> tree;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string relative = std::filesystem::relative(e.path(), folder);
        tree[relative] = e.is_symlink()     ? "-> " + std::filesystem::read_symlink(e.path()).string()
                         : e.is_directory() ? "<dir>"
                                            : readFile(e.path());
    }
    return tree;
}

}  // namespace qf::test
