#include "common/test_support.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace qf::test {

TempDir::TempDir() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/qf-test-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Tests may leave read-only folders behind; make them removable first.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

namespace {

void setOrUnset(const std::string& name, const std::optional<std::string>& value) {
    if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
    else
        ::unsetenv(name.c_str());
}

bool isIndexService(long pid) {
    std::ifstream cmdline("/proc/" + std::to_string(pid) + "/cmdline");
    std::string program;
    std::getline(cmdline, program, '\0');
    return program.find("quillfind-indexd") != std::string::npos;
}

}  // namespace

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) old_ = old;
    setOrUnset(name_, value);
}

ScopedEnv::~ScopedEnv() { setOrUnset(name_, old_); }

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool pollUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return done();
}

void stopIndexService(const std::string& indexDir) {
    // A service still starting has created its lock but not yet written its
    // process id there: it gets a moment to do so.
    const std::string lockPath = indexDir + "/indexd.lock";
    long pid = 0;
    pollUntil([&] { return !exists(lockPath) || (std::ifstream(lockPath) >> pid && pid > 1); },
              std::chrono::seconds(1));
    if (pid <= 1 || !isIndexService(pid)) return;
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    pollUntil([&] { return !isIndexService(pid); }, std::chrono::seconds(5));
}

std::string binDir() {
    const char* dir = std::getenv("QF_BIN_DIR");
    return dir ? dir : QF_BUILD_BIN_DIR;
}

std::string sourceDir() {
    const char* dir = std::getenv("QF_SOURCE_DIR");
    return dir ? dir : QF_SOURCE_ROOT;
}

}  // namespace qf::test
