#pragma once
// Fixtures of the Model tests: a Qt event loop, a fake `mdfind` that answers
// from a table, and an isolated environment and debug log.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QCoreApplication>
#include <QTest>

#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/recording_desktop.h"
#include "common/test_support.h"
#include "core/shell.h"
#include "model/model.h"
#include "model/run_shared.h"

namespace qf::test {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

// How the fake index names a call: its arguments joined with spaces.
inline std::string nameCall(const std::string& term) { return "-name " + term; }
inline std::string fsNameCall(const std::string& value) { return "kMDItemFSName == '" + value + "'cd"; }
inline const std::string kRecentCall = "kMDItemFSContentChangeDate >= $time.today(-1d)";

// Processes events until pred holds or the timeout passes; returns pred().
inline bool waitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 10s) {
    return QTest::qWaitFor(pred, static_cast<int>(timeout.count()));
}
inline void spin(std::chrono::milliseconds duration) {
    waitUntil([] { return false; }, duration);
}

inline Strings pathsOf(const std::vector<Hit>& hits) {
    Strings paths;
    for (const auto& h : hits) paths.push_back(h.path());
    return paths;
}

// An executable named mdfind that records every call and answers from a
// table of tab-separated rows: the call, which call of it answers (0: every
// one; "sleep": a pause before answering) and one line of the answer.
class FakeIndex {
public:
    FakeIndex() {
        writeFile(path("mdfind"), R"SH(#!/bin/sh
d=$(dirname "$0")
printf '%s\n' "$*" >> "$d/calls"
export K="$*" N="$(grep -cxF -- "$*" "$d/calls")"
s=$(awk -F '\t' '$1 == ENVIRON["K"] && $2 == "sleep" { print $3 }' "$d/table")
[ -z "$s" ] || sleep "$s"
awk -F '\t' '$1 == ENVIRON["K"] && ($2 == "0" || $2 == ENVIRON["N"]) { print $3 }' "$d/table"
)SH");
        ::chmod(path("mdfind").c_str(), 0755);
        reset();
    }
    void reset() {  // forgets every answer, pause and call
        for (const char* name : {"table", "calls"}) writeFile(path(name), "");
    }
    std::string path(const std::string& name) const { return dir_ / name; }
    // Every call answers `lines`; with nth, only the nth call (from 1) does.
    void answer(const std::string& call, const Strings& lines, const std::string& nth = "0") {
        std::string rows = readFile(path("table"));
        for (const auto& line : lines) rows += call + "\t" + nth + "\t" + line + "\n";
        writeFile(path("table"), rows);
    }
    void delay(const std::string& call, double seconds) { answer(call, {std::to_string(seconds)}, "sleep"); }
    Strings calls() const {
        std::istringstream in(readFile(path("calls")));
        Strings lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

private:
    TempDir dir_;
};

// Event loop, fake index, private debug log and no start-up variables.
class ModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "test_model";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
        setEnv("QUILLFIND_MDFIND", index.path("mdfind"));
        setEnv("QUILLFIND_DEBUG_LOG", index.path("debug.log"));
        for (const char* name : {"QUILLFIND_QUERY", "QUILLFIND_STRESS", "QUILLFIND_SIMULATE", "QUILLFIND_DUMP"})
            setEnv(name, std::nullopt);
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
    bool waitForPublication(const Model& model) {
        return waitUntil([&] { return !model.gathering(); });
    }
    // Runs `text` now and waits for its publication; false on timeout.
    bool runAndWait(Model& model, const std::string& text) {
        model.setText(text);
        model.run();
        return waitForPublication(model);
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
