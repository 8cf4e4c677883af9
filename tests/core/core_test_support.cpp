#include "core/core_test_support.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

namespace qf::test {

namespace {

// Before any test runs: a Chinese user language, so kind texts do not
// depend on the machine the tests run on. The debug log is already private
// (tests/common/test_env.cpp).
struct ProcessIsolation {
    ProcessIsolation() {
        ::setenv("LANGUAGE", "zh_CN", 1);
        ::setenv("LANG", "zh_CN.UTF-8", 1);
        ::unsetenv("LC_ALL");
        ::unsetenv("LC_MESSAGES");
    }
};

ProcessIsolation& isolation() {
    static ProcessIsolation instance;
    return instance;
}

const bool isolatedAtStart = (isolation(), true);

// The fake's file key: every argument plus "\n", hex-encoded.
std::string hexKey(const Args& args) {
    std::string out;
    for (const auto& a : args) {
        for (unsigned char c : a + "\n") {
            out.push_back("0123456789abcdef"[c >> 4]);
            out.push_back("0123456789abcdef"[c & 0xF]);
        }
    }
    return out;
}

}  // namespace

Lines linesOf(const std::string& text) {
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

Args byName(const std::string& term) { return {"-name", term}; }

Args nameQuery(const std::string& value) { return {"kMDItemFSName == '" + value + "'cd"}; }

std::string debugLogFile() {
    const char* path = std::getenv("QUILLFIND_DEBUG_LOG");
    return path ? path : "";
}

void clearDebugLog() { std::remove(debugLogFile().c_str()); }

Lines debugMessages() {
    Lines out;
    for (const auto& line : linesOf(readFile(debugLogFile()))) {
        const auto ms = line.find("ms ");
        out.push_back(ms == std::string::npos ? line : line.substr(ms + 3));
    }
    return out;
}

FakeMdfind::FakeMdfind()
    : executable_(dir_ / "mdfind"), mdfind_("QUILLFIND_MDFIND", executable_), fixture_("FAKE_MDFIND_DIR", dir_.path()) {
    std::filesystem::create_symlink(sourceDir() + "/tests/core/fake_mdfind.sh", executable_);
}

void FakeMdfind::set(const Args& args, const std::string& suffix, const std::string& content) {
    writeFile(dir_ / (hexKey(args) + suffix), content);
}

void FakeMdfind::answer(const Args& args, const Lines& lines) {
    std::string bytes;
    for (const auto& l : lines) bytes += l + "\n";
    set(args, ".out", bytes);
}

std::size_t FakeMdfind::callCount() const { return linesOf(readFile(dir_ / "calls")).size(); }

}  // namespace qf::test
