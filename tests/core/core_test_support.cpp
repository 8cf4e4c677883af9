#include "core/core_test_support.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qf::test {

namespace {

std::string hexKey(const std::vector<std::string>& args) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (const auto& a : args) {
        for (unsigned char c : a + "\n") {
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 0xF]);
        }
    }
    return out;
}

std::vector<std::string> argsOfKey(const std::string& key) {
    std::vector<std::string> args;
    std::string current;
    for (std::size_t i = 0; i + 1 < key.size(); i += 2) {
        const char c = static_cast<char>(std::stoi(key.substr(i, 2), nullptr, 16));
        if (c == '\n') {
            args.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    return args;
}

std::string sourceDir() {
    const char* dir = std::getenv("QF_SOURCE_DIR");
    if (dir && *dir) return dir;
    // Run by hand rather than by CTest: this file sits in tests/core/.
    return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().string();
}

// Before any test runs: a private debug log, so no test ever writes the
// user's real one, and a Chinese user language, so kind texts do not depend
// on the machine the tests run on.
struct ProcessIsolation {
    std::string folder;
    ProcessIsolation() {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/qf-core-test-XXXXXX";
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        folder = pattern;
        ::setenv("QUILLFIND_DEBUG_LOG", (folder + "/debug.log").c_str(), 1);
        ::setenv("LANGUAGE", "zh_CN", 1);
        ::setenv("LANG", "zh_CN.UTF-8", 1);
        ::unsetenv("LC_ALL");
        ::unsetenv("LC_MESSAGES");
    }
    ~ProcessIsolation() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

ProcessIsolation& isolation() {
    static ProcessIsolation instance;
    return instance;
}

const bool isolatedAtStart = (isolation(), true);

}  // namespace

TempDir::TempDir() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/qf-core-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ScopedEnv::ScopedEnv(std::string name, const char* value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) {
        had_ = true;
        old_ = old;
    }
    if (value) {
        ::setenv(name_.c_str(), value, 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

ScopedEnv::~ScopedEnv() {
    if (had_) {
        ::setenv(name_.c_str(), old_.c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

std::string binDir() {
    if (const char* dir = std::getenv("QF_BIN_DIR"); dir && *dir) return dir;
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.parent_path().string();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string debugLogFile() {
    return isolation().folder + "/debug.log";
}

void clearDebugLog() {
    std::remove(debugLogFile().c_str());
}

std::vector<std::string> debugMessages() {
    std::vector<std::string> out;
    for (const auto& line : linesOf(readFile(debugLogFile()))) {
        const auto ms = line.find("ms ");
        out.push_back(ms == std::string::npos ? line : line.substr(ms + 3));
    }
    return out;
}

FakeMdfind::FakeMdfind()
    : executable_(dir_.file("mdfind")),
      mdfind_("QUILLFIND_MDFIND", executable_.c_str()),
      fixture_("FAKE_MDFIND_DIR", dir_.path().c_str()) {
    std::filesystem::create_symlink(sourceDir() + "/tests/core/fake_mdfind.sh", executable_);
}

std::string FakeMdfind::keyFile(const std::vector<std::string>& args, const std::string& suffix) const {
    return dir_.file(hexKey(args) + suffix);
}

void FakeMdfind::answer(const std::vector<std::string>& args, const std::vector<std::string>& lines) {
    std::string bytes;
    for (const auto& l : lines) bytes += l + "\n";
    answerRaw(args, bytes);
}

void FakeMdfind::answerRaw(const std::vector<std::string>& args, const std::string& bytes) {
    writeFile(keyFile(args, ".out"), bytes);
}

void FakeMdfind::exitStatus(const std::vector<std::string>& args, int status) {
    writeFile(keyFile(args, ".status"), std::to_string(status));
}

void FakeMdfind::dieBy(const std::vector<std::string>& args, const std::string& signalName) {
    writeFile(keyFile(args, ".signal"), signalName);
}

std::vector<std::vector<std::string>> FakeMdfind::calls() const {
    std::vector<std::vector<std::string>> out;
    for (const auto& key : linesOf(readFile(dir_.file("calls")))) out.push_back(argsOfKey(key));
    return out;
}

}  // namespace qf::test
