#pragma once
// The file-action tests' Model on a recording desktop (searches go to a
// missing index tool, the trash into a temporary folder; tests/common
// isolates the rest), and what the tests look at on disk.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "actions/file_actions.h"
#include "common/recording_desktop.h"
#include "common/test_support.h"
#include "core/hit.h"
#include "model/model.h"

namespace qf::test {

class ActionsTest : public ::testing::Test {
protected:
    ActionsTest();

    TempDir dir_, state_;
    ScopedEnv xdgData_{"XDG_DATA_HOME", state_ / "data"};
    ScopedEnv xdgCache_{"XDG_CACHE_HOME", state_ / "cache"};
    ScopedEnv mdfind_{"QUILLFIND_MDFIND", state_ / "no-mdfind"};
    ScopedEnv ditto_{"QUILLFIND_DITTO", binDir() + "/ditto"};
    RecordingDesktop desktop_;  // its trash and programs really act
    std::unique_ptr<Model> model_ = std::make_unique<Model>(desktop_);
    FileActions actions_{*model_};
    std::int64_t serialAtStart_ = model_->serial();

    // True when the action ran the query again.
    bool refreshed() const { return model_->serial() != serialAtStart_; }
    // Forgets the calls, alerts and refreshes so far.
    void restart();
    // Checks that exactly one alert was shown, with these texts and "好";
    // none at all for an empty title.
    void expectOnlyFailure(const std::string& title, const std::string& detail, const std::string& what = "");
};

std::string errorText(std::errc e);
// Every item under folder by its relative path: a file's content, "<dir>"
// for a folder, "-> target" for a link.
std::map<std::string, std::string> treeUnder(const std::string& folder);

}  // namespace qf::test
