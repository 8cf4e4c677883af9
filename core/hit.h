#pragma once
// One search result and the file facts behind it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/path_names.h"

namespace qf {

// Seconds since 1970-01-01 UTC, with sub-second precision.
using Date = double;

class Hit {
public:
    Hit(std::string path, std::string name, bool isDir, std::int64_t size, std::optional<Date> modified,
        std::optional<Date> created, std::string kind);

    const std::string& path() const { return path_; }
    const std::string& id() const { return path_; }
    const std::string& name() const { return name_; }
    bool isDir() const { return isDir_; }
    std::int64_t size() const { return size_; }
    const std::optional<Date>& modified() const { return modified_; }
    const std::optional<Date>& created() const { return created_; }
    const std::string& kind() const { return kind_; }
    std::string url() const;  // file:// URL, percent-encoded

private:
    std::string path_;
    std::string name_;
    bool isDir_;
    std::int64_t size_;
    std::optional<Date> modified_;
    std::optional<Date> created_;
    std::string kind_;
};

struct StatInfo {
    bool isDir = false;
    std::int64_t size = -1;
    std::optional<Date> mtime;
    std::optional<Date> btime;
};

StatInfo lstatInfo(const std::string& path);
std::string kindOf(std::string_view path, bool isDir);
// The rule that turns a kept result path into a Hit.
Hit hitForPath(const std::string& path);

}  // namespace qf
