#pragma once
// Isolation helpers every test program shares: temporary folders, scoped
// variables, small file helpers and where the programs were built.
#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace qf::test {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    std::string operator/(const std::string& name) const { return file(name); }

private:
    std::string path_;
};

// Sets (or, with nullopt, unsets) one environment variable and restores the
// old value afterwards; TZ takes effect at once.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::optional<std::string>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// Puts the process in the time zone `tz` (a POSIX TZ text needs no zone
// database) until it goes: use one with an offset, UTC hides mistakes.
struct ScopedTimeZone : ScopedEnv {
    explicit ScopedTimeZone(const std::string& tz) : ScopedEnv("TZ", tz) {}
};

void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
// lstat-based: a dangling symbolic link exists.
bool exists(const std::string& path);
// Checks `done` every few milliseconds until it holds or `timeout` has
// passed; returns done(). No Qt events: QTest::qWaitFor processes those.
bool pollUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(5));
// Stops the index service of `indexDir` (by its lock file, or the one with
// process id `pid` if it still is one) and waits until it has ended.
void stopIndexService(const std::string& indexDir);
void stopIndexServiceProcess(long pid, const std::string& indexDir);
// Where the executables were built and the source root.
std::string binDir();
std::string sourceDir();

}  // namespace qf::test
