#pragma once
// Fixtures of the Model tests: a Qt event loop, a fake `mdfind` that answers
// from files, an isolated environment and debug log.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/recording_desktop.h"
#include "common/test_support.h"
#include "model/model.h"

namespace qf::test {

using Strings = std::vector<std::string>;

void ensureApp();  // the one QCoreApplication of the test process
// Processes events until pred holds or the timeout passes; returns pred().
bool waitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = std::chrono::seconds(10));
void spin(std::chrono::milliseconds duration);
// Waits, without processing events, until every background worker has ended.
bool backgroundIdle();
Strings pathsOf(const std::vector<Hit>& hits);

// How the fake index names a call: its arguments joined with spaces.
inline std::string nameCall(const std::string& term) { return "-name " + term; }
inline std::string fsNameCall(const std::string& value) { return "kMDItemFSName == '" + value + "'cd"; }
inline std::string recentCall() { return "kMDItemFSContentChangeDate >= $time.today(-1d)"; }

// An executable named mdfind in a temporary folder that records every call
// and answers from files the test writes.
class FakeIndex {
public:
    FakeIndex();
    void reset();  // forgets every answer, delay, call and log line
    std::string path(const std::string& name) const { return dir_.file(name); }
    // Every call answers `lines`; with nth, only the nth call (from 1) does.
    void answer(const std::string& call, const Strings& lines, int nth = 0);
    void delay(const std::string& call, double seconds);  // before answering
    Strings calls() const;

    std::string logPath() const { return path("debug.log"); }
    Strings logMessages() const;                                      // the lines without their time stamps
    bool logHas(const std::string& message) const;                    // a whole line
    int logCount(const std::string& prefix) const;                    // lines that start so
    std::optional<long long> logMs(const std::string& prefix) const;  // the first such line's time

private:
    TempDir dir_;
};

// Event loop, fake index, isolated log and no start-up variables.
class ModelTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<Model> makeModel() { return std::make_unique<Model>(desktop); }
    // Runs `text` now and waits for its publication; false on timeout.
    bool runAndWait(Model& model, const std::string& text);
    bool waitForPublication(const Model& model) {
        return waitUntil([&] { return !model.gathering(); });
    }
    // Sets (nullopt: unsets) a variable until the test ends.
    void setEnv(const std::string& name, const std::optional<std::string>& value) {
        env_.push_back(std::make_unique<ScopedEnv>(name, value));
    }

    FakeIndex index;
    RecordingDesktop desktop;

private:
    std::vector<std::unique_ptr<ScopedEnv>> env_;
};

}  // namespace qf::test
