#pragma once
// Shared fixtures for the Model tests: a Qt event loop, a fake `mdfind`
// that answers from files, an isolated environment and debug log.
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/desktop_services.h"
#include "model/model.h"

namespace qf::test {

// The one QCoreApplication of the test process.
void ensureApp();

// Where the built programs are: $QF_BIN_DIR, else beside this test program.
std::string binDir();

// Processes events until pred holds or the timeout passes; returns pred().
bool waitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = std::chrono::seconds(10));
// Processes events for the given time.
void spin(std::chrono::milliseconds duration);

// Sets or unsets an environment variable for the lifetime of the guard.
class EnvGuard {
public:
    EnvGuard() = default;
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;
    ~EnvGuard();
    void set(const std::string& name, const std::string& value);
    void unset(const std::string& name);

private:
    void remember(const std::string& name);
    std::map<std::string, std::optional<std::string>> saved_;
};

// One line of the debug log without its time stamp.
struct LogLine {
    long long ms = 0;
    std::string message;
};

// A fake index: an executable named mdfind in a temporary folder that
// records every call and answers from files the test writes. A call is
// identified by its arguments joined with spaces ("-name report", or the one
// query argument of the shell command lines).
class FakeIndex {
public:
    FakeIndex();
    const std::string& dir() const { return dir_; }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    static std::string nameCall(const std::string& term) { return "-name " + term; }
    static std::string fsNameCall(const std::string& value) { return "kMDItemFSName == '" + value + "'cd"; }
    static std::string recentCall() { return "kMDItemFSContentChangeDate >= $time.today(-1d)"; }

    // Every call answers `lines`; with nth, only the nth call (from 1) does.
    void answer(const std::string& call, const std::vector<std::string>& lines, int nth = 0);
    // The call sleeps this long before answering.
    void delay(const std::string& call, double seconds);

    std::vector<std::string> calls() const;
    int callCount(const std::string& call) const;

    std::string logPath() const { return dir_ + "/debug.log"; }
    std::vector<LogLine> log() const;
    std::vector<std::string> logMessages() const;
    bool logHas(const std::string& message) const;
    // Index of the first message that starts with prefix, or -1.
    int logIndexOf(const std::string& prefix) const;
    std::optional<LogLine> logLine(const std::string& prefix) const;

private:
    QTemporaryDir tmp_;
    std::string dir_;
};

class RecordingDesktop : public DesktopServices {
public:
    void openItem(const std::string& path) override { opened.push_back(path); }
    std::vector<std::string> opened;
};

// The environment of every Model test: event loop, fake index, isolated log
// and no start-up variables.
class ModelTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<Model> makeModel();
    // Runs `text` now and waits for its publication; false on timeout.
    bool runAndWait(Model& model, const std::string& text);
    // Waits until the newest run of model has published.
    bool waitForPublication(const Model& model, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Creates a file under the temporary folder; returns its path.
    std::string makeFile(const std::string& name, std::size_t size = 0, std::optional<double> mtime = {});

    EnvGuard env;
    std::unique_ptr<FakeIndex> index;
    RecordingDesktop desktop;
};

}  // namespace qf::test
