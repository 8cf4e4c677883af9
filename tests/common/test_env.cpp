// Every test program starts from a private environment: CTest's discovered
// tests cannot carry several environment variables on this CMake version,
// and no test may ever index, log to or start a service for the real user,
// even one that forgets to isolate itself. Variables a caller already set
// are kept.
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

bool isIndexService(long pid) {
    std::ifstream cmdline("/proc/" + std::to_string(pid) + "/cmdline");
    std::string program;
    std::getline(cmdline, program, '\0');
    return program.find("quillfind-indexd") != std::string::npos;
}

struct TestEnvironment {
    std::string folder;

    TestEnvironment() {
        ::setenv("QF_BIN_DIR", QF_BUILD_BIN_DIR, 0);
        ::setenv("QF_SOURCE_DIR", QF_SOURCE_ROOT, 0);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        std::string pattern = std::filesystem::temp_directory_path().string() + "/qf-testenv-XXXXXX";
        if (!::mkdtemp(pattern.data())) return;
        folder = pattern;
        std::filesystem::create_directories(folder + "/index");
        std::filesystem::create_directories(folder + "/roots");
        ::setenv("QUILLFIND_INDEX_DIR", (folder + "/index").c_str(), 0);
        ::setenv("QUILLFIND_INDEX_ROOTS", (folder + "/roots").c_str(), 0);
        ::setenv("QUILLFIND_DEBUG_LOG", (folder + "/debug.log").c_str(), 0);
        // The index service reads its settings from here, never the user's.
        ::setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 0);
    }

    // The service some test started on demand in the private folder, or 0.
    // A service still starting has created its lock but not yet written
    // its process id there: it gets a moment to do so.
    long servicePid() const {
        const std::string lockPath = folder + "/index/indexd.lock";
        for (int attempt = 0; attempt < 50 && std::filesystem::exists(lockPath); ++attempt) {
            std::ifstream lock(lockPath);
            long pid = 0;
            if (lock >> pid && pid > 1) return isIndexService(pid) ? pid : 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return 0;
    }

    ~TestEnvironment() {
        if (folder.empty()) return;
        // Stopped and waited for before the folder goes: a service writes its
        // snapshot when it stops, which would bring the folder back.
        if (long pid = servicePid()) {
            ::kill(static_cast<pid_t>(pid), SIGTERM);
            for (int i = 0; i < 250 && isIndexService(pid); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

const TestEnvironment environment;

}  // namespace
