#pragma once
// The file-action tests' Model on a recording desktop in an isolated
// environment (searches go to a missing index tool, log and trash into
// temporary folders), and what the tests look at on disk.
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
    ScopedEnv xdgConfig_{"XDG_CONFIG_HOME", state_ / "config"};
    ScopedEnv xdgCache_{"XDG_CACHE_HOME", state_ / "cache"};
    ScopedEnv log_{"QUILLFIND_DEBUG_LOG", state_ / "debug.log"};
    ScopedEnv mdfind_{"QUILLFIND_MDFIND", state_ / "no-mdfind"};
    ScopedEnv indexDir_{"QUILLFIND_INDEX_DIR", state_ / "index"};
    ScopedEnv indexRoots_{"QUILLFIND_INDEX_ROOTS", state_ / "roots"};
    ScopedEnv ditto_{"QUILLFIND_DITTO", binDir() + "/ditto"};
    RecordingDesktop desktop_;  // its trash and programs really act
    std::unique_ptr<Model> model_ = std::make_unique<Model>(desktop_);
    FileActions actions_{*model_};
    std::int64_t serialAtStart_ = model_->serial();

    // True when the action ran the query again.
    bool refreshed() const { return model_->serial() != serialAtStart_; }
    Hit hit(const std::string& path) const { return hitForPath(path); }
    // Checks that exactly one alert was shown, with these texts and "好".
    void expectOnlyFailure(const std::string& title, const std::string& detail, const std::string& what = "");
};

std::string errorText(std::errc e);
std::vector<std::string> namesIn(const std::string& folder);  // sorted
// Every item under folder by its relative path: a file's content, "<dir>"
// for a folder, "-> target" for a link.
std::map<std::string, std::string> treeUnder(const std::string& folder);

}  // namespace qf::test
