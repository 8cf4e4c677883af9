#include "index/service/mount_table.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <string_view>
#include <tuple>

namespace qf::index {

MountTable::MountTable(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}

std::vector<MountPoint> MountTable::read() const {
    if (!fd_) return {};
    // The kernel builds the text anew for each read from the start.
    std::string text;
    char buf[16384];
    for (off_t at = 0;;) {
        ssize_t n = ::pread(fd_.get(), buf, sizeof buf, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return {};
        if (n == 0) break;
        text.append(buf, static_cast<size_t>(n));
        at += n;
    }
    return parseMountInfo(text);
}

MountChanges diffMounts(const std::vector<MountPoint>& before, const std::vector<MountPoint>& after) {
    using Key = std::tuple<int, dev_t, std::string_view, std::string_view>;
    auto key = [](const MountPoint& m) { return Key{m.mountId, m.device, m.path, m.fsType}; };
    auto absent = [&](const std::vector<MountPoint>& from, const std::vector<MountPoint>& in) {
        std::set<Key> keys;
        for (const MountPoint& m : in) keys.insert(key(m));
        std::vector<MountPoint> out;
        for (const MountPoint& m : from)
            if (!keys.count(key(m))) out.push_back(m);
        return out;
    };
    return {absent(after, before), absent(before, after)};
}

}  // namespace qf::index
