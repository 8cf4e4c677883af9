// The Model against the real index service and mdfind, on a private tree.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <thread>

#include "model_test_support.h"

namespace qf::test {
namespace {

using namespace std::chrono_literals;

bool processAlive(pid_t pid) { return pid > 0 && ::kill(pid, 0) == 0; }

class EndToEnd : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        mdfind_ = binDir() + "/mdfind";
        if (::access(mdfind_.c_str(), X_OK) != 0) GTEST_SKIP() << "no index service built at " << mdfind_;
        ASSERT_TRUE(world_.isValid());
        base_ = world_.path().toStdString();
        ::mkdir((base_ + "/root").c_str(), 0755);
        env.set("QUILLFIND_MDFIND", mdfind_);
        env.set("QUILLFIND_INDEX_DIR", base_ + "/idx");
        env.set("QUILLFIND_INDEX_ROOTS", base_ + "/root");
        env.set("XDG_RUNTIME_DIR", base_ + "/runtime");
        env.set("XDG_CACHE_HOME", base_ + "/cache");
    }

    void TearDown() override {
        ModelTest::TearDown();
        std::ifstream lock(base_ + "/idx/indexd.lock");
        pid_t pid = 0;
        lock >> pid;
        if (!processAlive(pid)) return;
        ::kill(pid, SIGTERM);
        for (int i = 0; i < 500 && processAlive(pid); ++i) std::this_thread::sleep_for(10ms);
    }

    std::string create(const std::string& relative, const std::string& content = "data") {
        std::string path = base_ + "/root";
        std::size_t start = 0;
        for (std::size_t slash; (slash = relative.find('/', start)) != std::string::npos; start = slash + 1)
            ::mkdir((path + "/" + relative.substr(0, slash)).c_str(), 0755);
        path += "/" + relative;
        std::ofstream(path) << content;
        return path;
    }

    // Runs the query until its rows satisfy `done` (the service may still be
    // crawling at first); returns the last rows seen.
    std::set<std::string> searchUntil(Model& model, const std::string& text,
                                      const std::function<bool(const std::set<std::string>&)>& done) {
        std::set<std::string> rows;
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (!runAndWait(model, text)) continue;
            rows.clear();
            for (const auto& hit : model.hits()) rows.insert(hit.path());
            if (done(rows)) break;
            spin(200ms);
        }
        return rows;
    }

    std::set<std::string> searchUntil(Model& model, const std::string& text, const std::set<std::string>& expected) {
        return searchUntil(model, text, [&](const std::set<std::string>& rows) { return rows == expected; });
    }

    QTemporaryDir world_;
    std::string base_;
    std::string mdfind_;
};

TEST_F(EndToEnd, FindsFilesCreatedInAPrivateTree) {
    const std::string report = create("docs/Quarterly-Report-2024.pdf", std::string(1234, 'x'));
    const std::string draft = create("notes/report_draft.txt");
    const std::string resume = create("notes/Résumé.odt");
    create("other/unrelated.txt");
    auto model = makeModel();

    EXPECT_EQ(searchUntil(*model, "report", {report, draft}), (std::set<std::string>{report, draft}));
    const auto pdf = std::find_if(model->hits().begin(), model->hits().end(),
                                  [&](const Hit& h) { return h.path() == report; });
    ASSERT_NE(pdf, model->hits().end());
    EXPECT_EQ(pdf->size(), 1234);
    EXPECT_EQ(pdf->name(), "Quarterly-Report-2024.pdf");
    EXPECT_TRUE(pdf->modified().has_value());

    EXPECT_EQ(searchUntil(*model, ".pdf", {report}), std::set<std::string>{report});
    EXPECT_EQ(searchUntil(*model, "report .txt", {draft}), std::set<std::string>{draft});
    // Diacritics and case are the index's business.
    EXPECT_EQ(searchUntil(*model, "resume", {resume}), std::set<std::string>{resume});

    model->setCaseSensitive(true);
    EXPECT_EQ(searchUntil(*model, "Report", {report}), std::set<std::string>{report});
    model->setCaseSensitive(false);

    model->setRegexMode(true);
    EXPECT_EQ(searchUntil(*model, "^report_\\w+\\.txt$", {draft}), std::set<std::string>{draft});
    model->setRegexMode(false);

    // Everything here was just written, so the empty query lists it all.
    const auto recent = searchUntil(*model, "", [&](const std::set<std::string>& rows) {
        return rows.count(report) && rows.count(draft) && rows.count(resume);
    });
    for (const auto& path : {report, draft, resume}) EXPECT_TRUE(recent.count(path)) << path;
    EXPECT_EQ(model->sortKey(), SortKey::date);
}

}  // namespace
}  // namespace qf::test
