#pragma once
// Core-test isolation: a Chinese user language (kind texts must not depend
// on the machine; the debug log is already private, see common/test_env.cpp)
// and a fake mdfind that answers from fixtures.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/test_support.h"

namespace qf::test {

using Args = std::vector<std::string>;
using Lines = std::vector<std::string>;

inline const bool kChineseUser = [] {
    ::setenv("LANGUAGE", "zh_CN", 1);
    ::setenv("LANG", "zh_CN.UTF-8", 1);
    ::unsetenv("LC_ALL");
    return ::unsetenv("LC_MESSAGES") == 0;
}();

inline Lines linesOf(const std::string& text) {
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The arguments of a by-name call, and of a name query as mdfind receives it.
inline Args byName(const std::string& term) { return {"-name", term}; }
inline Args nameQuery(const std::string& value) { return {"kMDItemFSName == '" + value + "'cd"}; }

// The debug log of this test process; its lines without the "<ms>ms " prefix.
inline std::string debugLogFile() { return std::getenv("QUILLFIND_DEBUG_LOG"); }
inline void clearDebugLog() { std::remove(debugLogFile().c_str()); }
inline Lines debugMessages() {
    Lines out;
    for (const auto& line : linesOf(readFile(debugLogFile())))
        out.push_back(line.find("ms ") == std::string::npos ? line : line.substr(line.find("ms ") + 3));
    return out;
}

// Installs tests/core/fake_mdfind.sh as "mdfind" in a temporary folder and
// points QUILLFIND_MDFIND at it for the fake's lifetime.
class FakeMdfind {
public:
    FakeMdfind() { std::filesystem::create_symlink(sourceDir() + "/tests/core/fake_mdfind.sh", executable_); }
    // What a call with exactly these arguments prints (".out") or exits
    // with (".status"); the fake's key is every argument plus "\n", in hex.
    void set(const Args& args, const std::string& suffix, const std::string& content) {
        std::string key;
        for (const auto& a : args)
            for (unsigned char c : a + "\n") key += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 0xF]};
        writeFile(dir_ / (key + suffix), content);
    }
    void answer(const Args& args, const Lines& lines) {
        std::string bytes;
        for (const auto& l : lines) bytes += l + "\n";
        set(args, ".out", bytes);
    }
    std::size_t callCount() const { return linesOf(readFile(dir_ / "calls")).size(); }

private:
    TempDir dir_;
    std::string executable_ = dir_ / "mdfind";
    ScopedEnv mdfind_{"QUILLFIND_MDFIND", executable_};
    ScopedEnv fixture_{"FAKE_MDFIND_DIR", dir_.path()};
};

}  // namespace qf::test
