// The Model against the real index service and mdfind, on a private tree:
// the quoting on the program's side and the parsing on the index's side must
// agree for every character a file name may hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "model_test_support.h"

namespace qf::test {
namespace {

using Rows = std::set<std::string>;

using EndToEnd = ModelTest;

Rows rowsOf(const Model& model) {
    const Lines paths = pathsOf(model.hits());
    return {paths.begin(), paths.end()};
}

TEST_F(EndToEnd, FindsFilesInAPrivateTreeWithTheQueryCharactersAsTyped) {
    // The service of this program's private index folder, stopped as the program ends.
    setEnv("QUILLFIND_MDFIND", binDir() + "/mdfind");
    const std::string roots = std::getenv("QUILLFIND_INDEX_ROOTS");
    Lines paths;
    for (const char* name : {"docs/Quarterly-Report-2024.pdf", "notes/Résumé.odt", "it's.txt", "back\\slash.txt",
                             "a$(b)c.txt", "q`w`e.txt", "$HOME.txt"}) {
        paths.push_back(roots + "/" + name);
        std::filesystem::create_directories(std::filesystem::path(paths.back()).parent_path());
        writeFile(paths.back(), "data");
    }
    // Short words go to the substring query, patterns to the wildcard query;
    // a shell that read any of these would run a command or expand a name.
    // The marker is relative to the folder the searches run in.
    const std::string marker = "quillfind-end-to-end-ran";
    std::filesystem::remove(marker);
    const std::pair<std::string, Rows> cases[] = {
        {"report", {paths[0]}},
        {".pdf", {paths[0]}},
        {"resume", {paths[1]}},
        {"t's", {paths[2]}},
        {"it's*", {paths[2]}},
        {"k\\s", {paths[3]}},
        {"back\\sl*", {paths[3]}},
        {"$(b", {paths[4]}},
        {"a$(b)c*", {paths[4]}},
        {"`w`", {paths[5]}},
        {"q`w`e*", {paths[5]}},
        {"$HOME", {paths[6]}},
        {"*$(touch\t" + marker + ")*", {}},
        {"*`touch\t" + marker + "`*", {}},
    };
    auto model = makeModel();
    for (const auto& [query, expected] : cases) {
        // The service may still be crawling at first.
        waitUntil([&] { return runAndWait(*model, query) && rowsOf(*model) == expected; }, 30s);
        EXPECT_EQ(rowsOf(*model), expected) << query;
    }
    EXPECT_FALSE(std::filesystem::exists(marker));
    // Everything here was just written, so the empty query lists it all.
    const auto listsAll = [&] { return std::ranges::all_of(paths, [&](auto& p) { return rowsOf(*model).count(p); }); };
    EXPECT_TRUE(waitUntil([&] { return runAndWait(*model, "") && listsAll(); }, 30s));
}

}  // namespace
}  // namespace qf::test
