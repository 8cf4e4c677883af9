// CTest's discovered tests cannot carry several environment variables on
// this CMake version, so every test program learns where the built programs
// and the sources are from its own compile definitions, unless the caller
// already set them.
#include <cstdlib>

namespace {

struct TestEnvironment {
    TestEnvironment() {
        ::setenv("QF_BIN_DIR", QF_BUILD_BIN_DIR, 0);
        ::setenv("QF_SOURCE_DIR", QF_SOURCE_ROOT, 0);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
};

const TestEnvironment environment;

}  // namespace
