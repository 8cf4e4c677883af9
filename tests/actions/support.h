#pragma once
// The file-action tests' recording desktop, a Model on it in an isolated
// environment (searches go to a missing index tool, log and trash into
// temporary folders) and a reader of zip directories.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "actions/file_actions.h"
#include "common/recording_desktop.h"
#include "common/test_support.h"
#include "core/hit.h"
#include "model/desktop_services.h"
#include "model/model.h"

namespace qf::test {

// A recording desktop whose trash and programs really act.
RecordingDesktop realTrashAndPrograms();

class ActionsTest : public ::testing::Test {
protected:
    TempDir dir_, state_;
    ScopedEnv xdgData_{"XDG_DATA_HOME", state_ / "data"};
    ScopedEnv xdgConfig_{"XDG_CONFIG_HOME", state_ / "config"};
    ScopedEnv xdgCache_{"XDG_CACHE_HOME", state_ / "cache"};
    ScopedEnv log_{"QUILLFIND_DEBUG_LOG", state_ / "debug.log"};
    ScopedEnv mdfind_{"QUILLFIND_MDFIND", state_ / "no-mdfind"};
    ScopedEnv indexDir_{"QUILLFIND_INDEX_DIR", state_ / "index"};
    ScopedEnv indexRoots_{"QUILLFIND_INDEX_ROOTS", state_ / "roots"};
    ScopedEnv ditto_{"QUILLFIND_DITTO", binDir() + "/ditto"};
    RecordingDesktop desktop_ = realTrashAndPrograms();
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
bool dittoBuilt();

// A zip's central directory, read without the library that wrote it.
struct ZipEntry {
    std::uint16_t flags = 0;
    std::uint32_t unixMode = 0;
};
std::map<std::string, ZipEntry> readZipDirectory(const std::string& path);  // empty when unreadable
std::vector<std::string> namesInZip(const std::string& path);
// Unpacks a zip into folder with libarchive's reader, names taken as stored;
// false on any error or warning.
bool unpackZip(const std::string& zip, const std::string& folder);
// Every item under folder by its relative path: a file's content, "<dir>"
// for a folder, "-> target" for a link.
std::map<std::string, std::string> treeUnder(const std::string& folder);

}  // namespace qf::test
