#pragma once
// A Model on a recording desktop, in an isolated environment: its searches
// go to a missing index tool, its log and trash into temporary folders.
#include <gtest/gtest.h>

#include <memory>

#include "actions/file_actions.h"
#include "core/hit.h"
#include "model/model.h"
#include "support.h"

namespace qf::test {

class ActionsTest : public ::testing::Test {
protected:
    TempDir dir_;
    TempDir state_;
    ScopedEnv xdgData_{"XDG_DATA_HOME", state_ / "data"};
    ScopedEnv xdgConfig_{"XDG_CONFIG_HOME", state_ / "config"};
    ScopedEnv xdgCache_{"XDG_CACHE_HOME", state_ / "cache"};
    ScopedEnv log_{"QUILLFIND_DEBUG_LOG", state_ / "debug.log"};
    ScopedEnv mdfind_{"QUILLFIND_MDFIND", state_ / "no-mdfind"};
    ScopedEnv indexDir_{"QUILLFIND_INDEX_DIR", state_ / "index"};
    ScopedEnv indexRoots_{"QUILLFIND_INDEX_ROOTS", state_ / "roots"};
    ScopedEnv ditto_{"QUILLFIND_DITTO", binDir() + "/ditto"};
    RecordingDesktop desktop_;
    std::unique_ptr<Model> model_ = std::make_unique<Model>(desktop_);
    FileActions actions_{*model_};
    std::int64_t serialAtStart_ = model_->serial();

    // True when the action ran the query again.
    bool refreshed() const { return model_->serial() != serialAtStart_; }
    Hit hit(const std::string& path) const { return hitForPath(path); }
    std::string trashFolder() const { return state_ / "data/Trash"; }
};

}  // namespace qf::test
