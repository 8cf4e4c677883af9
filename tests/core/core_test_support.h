#pragma once
// Isolation for the core tests: temporary folders, environment overrides,
// the debug log and a fake mdfind that answers from fixtures.
#include <string>
#include <vector>

namespace qf::test {

// A fresh folder under $TMPDIR, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Sets (or, with unset, removes) one environment variable for its lifetime.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    bool had_ = false;
    std::string old_;
};

// Where the executables were built: $QF_BIN_DIR, else this test program's
// own folder (every executable lands in the same bin folder).
std::string binDir();

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
std::vector<std::string> linesOf(const std::string& text);

// The debug log of this test process (a private file, emptied per test);
// the lines without their "<ms>ms " prefix.
std::string debugLogFile();
void clearDebugLog();
std::vector<std::string> debugMessages();

// Installs the fake as "mdfind" in a temporary folder and points
// QUILLFIND_MDFIND at it for the fake's lifetime.
class FakeMdfind {
public:
    FakeMdfind();
    const std::string& executable() const { return executable_; }
    const std::string& folder() const { return dir_.path(); }
    // What a call with exactly these arguments prints, exits with or dies of.
    void answer(const std::vector<std::string>& args, const std::vector<std::string>& lines);
    void answerRaw(const std::vector<std::string>& args, const std::string& bytes);
    void exitStatus(const std::vector<std::string>& args, int status);
    void dieBy(const std::vector<std::string>& args, const std::string& signalName);
    // The argument lists of every call so far, in call order.
    std::vector<std::vector<std::string>> calls() const;

private:
    std::string keyFile(const std::vector<std::string>& args, const std::string& suffix) const;
    TempDir dir_;
    std::string executable_;
    ScopedEnv mdfind_;
    ScopedEnv fixture_;
};

}  // namespace qf::test
