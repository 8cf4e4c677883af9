#pragma once
// Fixtures of the Model tests: a Qt event loop, the fake `mdfind` and an
// isolated environment.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QTest>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "common/fake_mdfind.h"
#include "common/recording_desktop.h"
#include "core/shell.h"
#include "model/model.h"
#include "model/run_shared.h"

namespace qf::test {

using namespace std::chrono_literals;
using Calls = std::vector<Args>;

inline bool waitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 10s) {
    return QTest::qWaitFor(pred, static_cast<int>(timeout.count()));
}
inline void spin(std::chrono::milliseconds duration) { QTest::qWait(static_cast<int>(duration.count())); }

inline Lines pathsOf(const std::vector<Hit>& hits) {
    Lines paths;
    for (const auto& h : hits) paths.push_back(h.path());
    return paths;
}

// Event loop and fake index (test_env.cpp clears the start-up variables).
class ModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "test_model";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
    }
    void TearDown() override {
        // No child or worker of this test may outlive it: a late one would
        // call the next test's index.
        for (int i = 0; i < 300; ++i) {
            QueryRunner::shared().cancelAll();
            if (waitForBackgroundIdle(50)) break;
        }
        spin(0ms);
        while (!env_.empty()) env_.pop_back();  // newest first
    }

    std::unique_ptr<Model> makeModel() { return std::make_unique<Model>(desktop); }
    bool runAndWait(Model& model, const std::string& text) {
        model.setText(text);
        model.run();
        return waitUntil([&] { return !model.gathering(); });
    }
    // Sets (nullopt: unsets) a variable until the test ends.
    void setEnv(const std::string& name, const std::optional<std::string>& value) {
        env_.push_back(std::make_unique<ScopedEnv>(name, value));
    }

    FakeMdfind index;
    RecordingDesktop desktop;

private:
    std::vector<std::unique_ptr<ScopedEnv>> env_;
};

}  // namespace qf::test
