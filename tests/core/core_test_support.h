#pragma once
// Core-test isolation: a Chinese user language (kind texts must not depend
// on the machine; the debug log is already private, see common/test_env.cpp)
// and the fake mdfind.
#include <stdlib.h>

#include <cstdio>
#include <string>

#include "common/fake_mdfind.h"

namespace qf::test {

inline const bool kChineseUser = [] {
    ::setenv("LANGUAGE", "zh_CN", 1);
    ::setenv("LANG", "zh_CN.UTF-8", 1);
    ::unsetenv("LC_ALL");
    return ::unsetenv("LC_MESSAGES") == 0;
}();

// The debug log of this test process; its lines without the "<ms>ms " prefix.
inline std::string debugLogFile() { return std::getenv("QUILLFIND_DEBUG_LOG"); }
inline void clearDebugLog() { std::remove(debugLogFile().c_str()); }
inline Lines debugMessages() {
    Lines out;
    for (const auto& line : linesOf(readFile(debugLogFile())))
        out.push_back(line.find("ms ") == std::string::npos ? line : line.substr(line.find("ms ") + 3));
    return out;
}

}  // namespace qf::test
