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
    void SetUp() override {
        ModelTest::SetUp();
        const std::string mdfind = binDir() + "/mdfind";
        if (::access(mdfind.c_str(), X_OK) != 0) GTEST_SKIP() << "no index service built at " << mdfind;
        std::filesystem::create_directory(world_ / "root");
        setEnv("QUILLFIND_MDFIND", mdfind);
        setEnv("QUILLFIND_INDEX_DIR", world_ / "idx");
        setEnv("QUILLFIND_INDEX_ROOTS", world_ / "root");
        setEnv("XDG_RUNTIME_DIR", world_ / "runtime");
        setEnv("XDG_CACHE_HOME", world_ / "cache");
        setEnv("XDG_CONFIG_HOME", world_ / "config");
    }

    void TearDown() override {
        ModelTest::TearDown();
        stopIndexService(world_ / "idx");
    }

    std::string create(const std::string& relative, const std::string& content = "data") {
        const std::string path = world_ / ("root/" + relative);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        writeFile(path, content);
        return path;
    }

    // Runs the query until its rows satisfy `done` (the service may still be
    // crawling at first); returns the last rows seen.
    Rows searchUntil(Model& model, const std::string& text, const std::function<bool(const Rows&)>& done) {
        Rows rows;
        for (const auto deadline = std::chrono::steady_clock::now() + 30s;
             std::chrono::steady_clock::now() < deadline;) {
            if (!runAndWait(model, text)) continue;
            const Strings paths = pathsOf(model.hits());
            rows = Rows(paths.begin(), paths.end());
            if (done(rows)) break;
            spin(200ms);
        }
        return rows;
    }

    Rows searchUntil(Model& model, const std::string& text, const Rows& expected) {
        return searchUntil(model, text, [&](const Rows& rows) { return rows == expected; });
    }

    TempDir world_;
};

TEST_F(EndToEnd, FindsFilesCreatedInAPrivateTree) {
    const std::string report = create("docs/Quarterly-Report-2024.pdf", std::string(1234, 'x'));
    const std::string draft = create("notes/report_draft.txt");
    const std::string resume = create("notes/Résumé.odt");
    create("other/unrelated.txt");
    auto model = makeModel();

    EXPECT_EQ(searchUntil(*model, "report", {report, draft}), (Rows{report, draft}));
    const auto pdf =
        std::find_if(model->hits().begin(), model->hits().end(), [&](const Hit& h) { return h.path() == report; });
    ASSERT_NE(pdf, model->hits().end());
    EXPECT_EQ(pdf->size(), 1234);
    EXPECT_EQ(pdf->name(), "Quarterly-Report-2024.pdf");
    EXPECT_TRUE(pdf->modified().has_value());

    EXPECT_EQ(searchUntil(*model, ".pdf", {report}), Rows{report});
    // Diacritics and case are the index's business (the local filters of
    // case and expressions are tested on the fake index).
    EXPECT_EQ(searchUntil(*model, "resume", {resume}), Rows{resume});

    // Everything here was just written, so the empty query lists it all.
    const auto recent = searchUntil(
        *model, "", [&](const Rows& rows) { return rows.count(report) && rows.count(draft) && rows.count(resume); });
    for (const auto& path : {report, draft, resume}) EXPECT_TRUE(recent.count(path)) << path;
    EXPECT_EQ(model->sortKey(), SortKey::date);
}

// Characters the shell would act on reach the index as plain characters and
// never run anything (dump mode builds the same command lines).
TEST_F(EndToEnd, QueryCharactersReachTheIndexAsTyped) {
    const std::pair<std::string, std::string> cases[] = {
        // Short words go to the substring query, patterns to the wildcard query.
        {"$(b", "a$(b)c.txt"},    {"a$(b)c*", "a$(b)c.txt"},   {"`w`", "q`w`e.txt"},
        {"q`w`e.*", "q`w`e.txt"}, {"k\\s", "back\\slash.txt"}, {"back\\sl*", "back\\slash.txt"},
        {"$HO", "$HOME.txt"},     {"$home.t?t", "$HOME.txt"},  {"t's", "it's.txt"},
        {"it's*", "it's.txt"},    {"b!\t", "b!\tc.txt"},
    };
    for (const auto& [query, name] : cases) create(name);
    auto model = makeModel();
    for (const auto& [query, name] : cases) {
        const std::string path = world_ / ("root/" + name);
        EXPECT_EQ(searchUntil(*model, query, {path}), Rows{path}) << query;
    }
    // The queries' commands run in the test's folder; a "/" would cut the
    // word down to its last segment.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(world_.path());
    for (const std::string query : {"*$(touch\tran)*", "`touch\tran`*"}) {
        EXPECT_EQ(searchUntil(*model, query, Rows{}), Rows{}) << query;
    }
    std::filesystem::current_path(cwd);
    EXPECT_FALSE(exists(world_ / "ran"));
}

}  // namespace
}  // namespace qf::test
