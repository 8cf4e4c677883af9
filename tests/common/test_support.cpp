#include "common/test_support.h"

#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
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
    // localtime_r need not read TZ again; tzset makes it.
    if (name == "TZ") ::tzset();
}

// Process ids are reused, soon on a busy machine: the process must be an
// index service and, for the services of one index folder, use that one.
bool isIndexService(long pid, const std::string& indexDir) {
    const std::string proc = "/proc/" + std::to_string(pid);
    std::ifstream cmdline(proc + "/cmdline");
    std::string program;
    std::getline(cmdline, program, '\0');
    if (program.find("quillfind-indexd") == std::string::npos) return false;
    const std::string prefix = "QUILLFIND_INDEX_DIR=";
    std::ifstream environ(proc + "/environ");
    std::error_code ignored;
    for (std::string variable; std::getline(environ, variable, '\0');)
        if (variable.starts_with(prefix))
            return std::filesystem::weakly_canonical(variable.substr(prefix.size()), ignored) ==
                   std::filesystem::weakly_canonical(indexDir, ignored);
    return false;
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
    return {std::istreambuf_iterator<char>(in), {}};
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
    stopIndexServiceProcess(pid, indexDir);
}

void stopIndexServiceProcess(long pid, const std::string& indexDir) {
    if (pid <= 1 || !isIndexService(pid, indexDir)) return;
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    pollUntil([&] { return !isIndexService(pid, indexDir); }, std::chrono::seconds(5));
}

std::string binDir() { return QF_BUILD_BIN_DIR; }
std::string sourceDir() { return QF_SOURCE_ROOT; }

}  // namespace qf::test
