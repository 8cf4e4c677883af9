// The Model against the real index service and mdfind, on a private tree.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "model_test_support.h"

namespace qf::test {
namespace {

using namespace std::chrono_literals;
using Rows = std::set<std::string>;

class EndToEnd : public ModelTest {
protected:
    void TearDown() override {
        ModelTest::TearDown();
        stopIndexService(world_ / "idx");
    }

    TempDir world_;
};

Rows rowsOf(const Model& model) {
    const Strings paths = pathsOf(model.hits());
    return {paths.begin(), paths.end()};
}

// The local filters of case and expressions are tested on the fake index, and
// the quoting of each side with the shell runner and the query parser: here
// the two sides must agree, and diacritics and case are the index's business.
TEST_F(EndToEnd, FindsFilesCreatedInAPrivateTreeWithTheQueryCharactersAsTyped) {
    const std::string mdfind = binDir() + "/mdfind";
    if (::access(mdfind.c_str(), X_OK) != 0) GTEST_SKIP() << "no index service built at " << mdfind;
    setEnv("QUILLFIND_MDFIND", mdfind);
    setEnv("QUILLFIND_INDEX_DIR", world_ / "idx");
    setEnv("QUILLFIND_INDEX_ROOTS", world_ / "root");
    for (const char* name : {"XDG_RUNTIME_DIR", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"}) setEnv(name, world_ / name);
    const Strings names{"docs/Quarterly-Report-2024.pdf",
                        "notes/report_draft.txt",
                        "notes/Résumé.odt",
                        "it's.txt",
                        "back\\slash.txt",
                        "a$(b)c.txt",
                        "other/unrelated.txt"};
    Strings paths;
    for (const auto& name : names) {
        paths.push_back(world_ / ("root/" + name));
        std::filesystem::create_directories(std::filesystem::path(paths.back()).parent_path());
        writeFile(paths.back(), "data");
    }
    // Short words go to the substring query, patterns to the wildcard query.
    const std::pair<std::string, Rows> cases[] = {
        {"report", {paths[0], paths[1]}},
        {".pdf", {paths[0]}},
        {"resume", {paths[2]}},
        {"t's", {paths[3]}},
        {"it's*", {paths[3]}},
        {"k\\s", {paths[4]}},
        {"back\\sl*", {paths[4]}},
        {"$(b", {paths[5]}},
        {"a$(b)c*", {paths[5]}},
    };
    auto model = makeModel();
    for (const auto& [query, expected] : cases) {
        // The service may still be crawling at first.
        waitUntil([&] { return runAndWait(*model, query) && rowsOf(*model) == expected; }, 30s);
        EXPECT_EQ(rowsOf(*model), expected) << query;
    }
    // Everything here was just written, so the empty query lists it all.
    const auto listsAll = [&] { return std::ranges::all_of(paths, [&](auto& p) { return rowsOf(*model).count(p); }); };
    EXPECT_TRUE(waitUntil([&] { return runAndWait(*model, "") && listsAll(); }, 30s));
    EXPECT_EQ(model->sortKey(), SortKey::date);
}

}  // namespace
}  // namespace qf::test
