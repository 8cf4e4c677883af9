// Every test program starts from a private environment (CTest's discovered
// tests cannot carry several variables on this CMake version): no test may
// index, log to or start a service for the real user, even one that forgets
// to isolate itself. The index, log and settings variables are always
// replaced, as a developer's shell may point them at real data.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/test_support.h"

namespace {

struct TestEnvironment {
    // Made first: without a private folder no test may run at all.
    qf::test::TempDir folder;

    TestEnvironment() {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        // A developer's start-up modes of the window and the Model; a test
        // that wants one sets it for itself.
        for (const char* name : {"QUILLFIND_QUERY", "QUILLFIND_STRESS", "QUILLFIND_SIMULATE", "QUILLFIND_DUMP"})
            ::unsetenv(name);
        // Never an installed mdfind (which would start an installed service):
        // the build's, even where no test program's folder holds one.
        ::setenv("QUILLFIND_MDFIND", (qf::test::binDir() + "/mdfind").c_str(), 0);
        std::filesystem::create_directories(folder / "index");
        std::filesystem::create_directories(folder / "roots");
        ::setenv("QUILLFIND_INDEX_DIR", (folder / "index").c_str(), 1);
        ::setenv("QUILLFIND_INDEX_ROOTS", (folder / "roots").c_str(), 1);
        ::setenv("QUILLFIND_DEBUG_LOG", (folder / "debug.log").c_str(), 1);
        // The index service reads its settings from here, never the user's.
        ::setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    }

    // Stopped and waited for before the folder goes: a service writes its
    // snapshot when it stops, which would bring the folder back.
    ~TestEnvironment() { qf::test::stopIndexService(folder / "index"); }
};

const TestEnvironment environment;

}  // namespace
