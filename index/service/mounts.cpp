#include "index/service/mounts.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "base/path_names.h"
#include "protocol/index_protocol.h"

namespace qf::index {
namespace {

// mountinfo escapes space, tab, newline and backslash as \ooo.
std::string unescapeOctal(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' && s[i + 2] >= '0' &&
            s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
            out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::vector<std::string_view> splitSpaces(std::string_view line) {
    std::vector<std::string_view> out;
    size_t pos = 0;
    while (pos < line.size()) {
        size_t end = line.find(' ', pos);
        if (end == std::string_view::npos) end = line.size();
        if (end > pos) out.push_back(line.substr(pos, end - pos));
        pos = end + 1;
    }
    return out;
}

}  // namespace

std::vector<MountPoint> parseMountInfo(std::string_view text) {
    std::vector<MountPoint> mounts;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::vector<std::string_view> f = splitSpaces(text.substr(pos, end - pos));
        pos = end + 1;
        auto dash = std::find(f.begin(), f.end(), "-");
        if (f.size() < 5 || dash == f.end() || dash + 1 == f.end() || dash - f.begin() < 6) continue;
        std::string_view devText = f[2];
        size_t colon = devText.find(':');
        if (colon == std::string_view::npos) continue;
        unsigned major =
            static_cast<unsigned>(std::strtoul(std::string(devText.substr(0, colon)).c_str(), nullptr, 10));
        unsigned minor =
            static_cast<unsigned>(std::strtoul(std::string(devText.substr(colon + 1)).c_str(), nullptr, 10));
        int id = static_cast<int>(std::strtol(std::string(f[0]).c_str(), nullptr, 10));
        mounts.push_back({unescapeOctal(f[4]), std::string(*(dash + 1)), makedev(major, minor), id});
    }
    return mounts;
}

std::vector<MountPoint> currentMounts() {
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream ss;
    ss << in.rdbuf();
    return parseMountInfo(ss.str());
}

const std::vector<std::string_view>& prunedFsTypes() {
    static const std::vector<std::string_view> types = {"proc",
                                                        "sysfs",
                                                        "devtmpfs",
                                                        "devpts",
                                                        "tmpfs",
                                                        "ramfs",
                                                        "cgroup",
                                                        "cgroup2",
                                                        "overlay",
                                                        "aufs",
                                                        "squashfs",
                                                        "autofs",
                                                        "securityfs",
                                                        "debugfs",
                                                        "tracefs",
                                                        "configfs",
                                                        "fusectl",
                                                        "mqueue",
                                                        "hugetlbfs",
                                                        "pstore",
                                                        "bpf",
                                                        "binfmt_misc",
                                                        "efivarfs",
                                                        "selinuxfs",
                                                        "rpc_pipefs",
                                                        "nsfs",
                                                        "nfs",
                                                        "nfs4",
                                                        "nfsd",
                                                        "cifs",
                                                        "smb3",
                                                        "smbfs",
                                                        "ncpfs",
                                                        "afs",
                                                        "9p",
                                                        "ceph",
                                                        "glusterfs",
                                                        "lustre",
                                                        "coda",
                                                        "davfs",
                                                        "sshfs",
                                                        "fuse.sshfs",
                                                        "fuse.rclone",
                                                        "fuse.s3fs",
                                                        "fuse.gvfsd-fuse",
                                                        "fuse.portal",
                                                        "fuse.davfs2",
                                                        "fuse.lxcfs",
                                                        "fuse.snapfuse",
                                                        "fuse.glusterfs",
                                                        "fuse.ceph",
                                                        "fuse.xrdp-chansrv",
                                                        "iso9660",
                                                        "udf"};
    return types;
}

bool isPrunedFsType(std::string_view fsType) {
    const auto& t = prunedFsTypes();
    return std::find(t.begin(), t.end(), fsType) != t.end();
}

bool isNetworkFsType(std::string_view fsType) {
    static const std::vector<std::string_view> types = {
        "nfs",        "nfs4",        "cifs",      "smb3",        "smbfs",          "ncpfs",    "afs",
        "9p",         "ceph",        "glusterfs", "lustre",      "coda",           "davfs",    "sshfs",
        "fuse.sshfs", "fuse.rclone", "fuse.s3fs", "fuse.davfs2", "fuse.glusterfs", "fuse.ceph"};
    return std::find(types.begin(), types.end(), fsType) != types.end();
}

bool isLeftOutFsType(std::string_view fsType, bool network) {
    return isPrunedFsType(fsType) && !(network && isNetworkFsType(fsType));
}

const std::vector<std::string_view>& prunedTopFolders() {
    static const std::vector<std::string_view> folders = {"proc", "sys", "dev", "run"};
    return folders;
}

std::unordered_set<dev_t> prunedDevices(const std::vector<MountPoint>& mounts, bool network) {
    std::unordered_set<dev_t> devices;
    for (const MountPoint& m : mounts)
        if (isLeftOutFsType(m.fsType, network)) devices.insert(m.device);
    // A device mounted both as a pruned and as a disk file system stays indexed.
    for (const MountPoint& m : mounts)
        if (!isLeftOutFsType(m.fsType, network)) devices.erase(m.device);
    return devices;
}

std::vector<std::string> resolveRoots(const std::vector<std::string>& candidates) {
    std::vector<std::string> real;
    for (const std::string& c : candidates) {
        if (c.empty()) continue;
        char buf[PATH_MAX];
        if (!::realpath(c.c_str(), buf)) continue;
        struct stat st {};
        if (::stat(buf, &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        real.emplace_back(buf);
    }
    std::sort(real.begin(), real.end());
    real.erase(std::unique(real.begin(), real.end()), real.end());
    std::vector<std::string> roots;
    for (const std::string& r : real) {
        bool nested =
            std::any_of(roots.begin(), roots.end(), [&](const std::string& outer) { return isSameOrInside(r, outer); });
        if (!nested) roots.push_back(r);
    }
    return roots;
}

std::optional<std::vector<std::string>> rootsFromEnvironment() {
    std::string env = qf::protocol::envOr(qf::protocol::kEnvIndexRoots);
    if (env.empty()) return std::nullopt;
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= env.size()) {
        size_t end = env.find(':', pos);
        if (end == std::string::npos) end = env.size();
        parts.push_back(env.substr(pos, end - pos));
        pos = end + 1;
    }
    return resolveRoots(parts);
}

}  // namespace qf::index
