// Finding one of our programs from another: in build/bin all sit side by
// side; installed, the private helpers sit in libexec/quillfind.
#include "helper_programs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "common/test_support.h"

namespace qf {
namespace {

using test::TempDir;

void program(const std::string& path, bool executable = true) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    test::writeFile(path, "#!/bin/sh\n");
    ::chmod(path.c_str(), executable ? 0755 : 0644);
}

TEST(HelperPrograms, BesideThenHelpersFolderThenBinAndTheOverrideFirst) {
    TempDir dir;
    const std::string prefix = dir / "usr";
    program(prefix + "/bin/mdfind");
    program(prefix + "/libexec/quillfind/quillfind-indexd");
    program(prefix + "/libexec/quillfind/ditto", false);         // not executable: not found
    std::filesystem::create_directories(prefix + "/bin/ditto");  // a folder: not found
    program(dir / "build/bin/quillfind-indexd");
    program(dir / "build/bin/mdfind");
    struct Case {
        std::string from, name, expected;
    };
    const Case cases[] = {
        {prefix + "/bin", "quillfind-indexd", prefix + "/libexec/quillfind/quillfind-indexd"},
        {prefix + "/libexec/quillfind", "mdfind", prefix + "/bin/mdfind"},
        {prefix + "/bin", "mdfind", prefix + "/bin/mdfind"},
        {prefix + "/bin", "ditto", ""},
        {dir / "build/bin", "quillfind-indexd", dir / "build/bin/quillfind-indexd"},
        {dir / "build/bin", "ditto", ""},
        {"", "mdfind", ""},
    };
    test::ScopedEnv unset("QF_TEST_HELPER", std::nullopt);
    for (const Case& c : cases)
        EXPECT_EQ(protocol::findHelperProgram(c.name, "QF_TEST_HELPER", c.from), c.expected) << c.from << " " << c.name;
    test::ScopedEnv chosen("QF_TEST_HELPER", "/opt/elsewhere/mdfind");
    EXPECT_EQ(protocol::findHelperProgram("mdfind", "QF_TEST_HELPER", prefix + "/bin"), "/opt/elsewhere/mdfind");
    test::ScopedEnv empty("QF_TEST_HELPER", "");
    EXPECT_EQ(protocol::findHelperProgram("mdfind", "QF_TEST_HELPER", prefix + "/bin"), prefix + "/bin/mdfind");
}

}  // namespace
}  // namespace qf
