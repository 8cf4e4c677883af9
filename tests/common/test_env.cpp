// Every test program starts from a private environment: CTest's discovered
// tests cannot carry several environment variables on this CMake version,
// and no test may ever index, log to or start a service for the real user,
// even one that forgets to isolate itself. The index, log and settings
// variables are always replaced: tests create and remove files under them,
// and a developer's shell may point them at real data. Where the programs
// come from may be set by the caller.
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/test_support.h"

namespace {

struct TestEnvironment {
    std::string folder;

    TestEnvironment() {
        ::setenv("QF_BIN_DIR", QF_BUILD_BIN_DIR, 0);
        ::setenv("QF_SOURCE_DIR", QF_SOURCE_ROOT, 0);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        // Never an installed mdfind (which would start an installed service):
        // the build's, even where no test program's folder holds one.
        ::setenv("QUILLFIND_MDFIND", (qf::test::binDir() + "/mdfind").c_str(), 0);
        std::string pattern = std::filesystem::temp_directory_path().string() + "/qf-testenv-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            // Without a private folder no test may run at all.
            std::perror("cannot make the tests' private folder");
            std::_Exit(1);
        }
        folder = pattern;
        std::filesystem::create_directories(folder + "/index");
        std::filesystem::create_directories(folder + "/roots");
        ::setenv("QUILLFIND_INDEX_DIR", (folder + "/index").c_str(), 1);
        ::setenv("QUILLFIND_INDEX_ROOTS", (folder + "/roots").c_str(), 1);
        ::setenv("QUILLFIND_DEBUG_LOG", (folder + "/debug.log").c_str(), 1);
        // The index service reads its settings from here, never the user's.
        ::setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
    }

    ~TestEnvironment() {
        if (folder.empty()) return;
        // Stopped and waited for before the folder goes: a service writes its
        // snapshot when it stops, which would bring the folder back.
        qf::test::stopIndexService(folder + "/index");
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

const TestEnvironment environment;

}  // namespace
