#include "ui/full_disk_access.h"

#include <fcntl.h>
#include <unistd.h>
#include <QDir>
#include <cerrno>

namespace qf {

std::vector<std::string> fullDiskAccessProbePaths() {
    const std::string home = QDir::homePath().toStdString();
    return {
        "/Library/Application Support/com.apple.TCC",
        home + "/Library/Safari",
        home + "/Library/Mail",
    };
}

ProbeOutcome probePath(const std::string& path) {
    // Non-blocking: a FIFO or device at a probe path must not hang the window
    // that waits for this answer; nothing is read either way.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd >= 0) {
        ::close(fd);
        return ProbeOutcome::opened;
    }
    return (errno == EPERM || errno == EACCES) ? ProbeOutcome::refused : ProbeOutcome::unavailable;
}

bool hasFullDiskAccess(const std::vector<std::string>& probePaths,
                       const std::function<ProbeOutcome(const std::string&)>& probe) {
    for (const std::string& path : probePaths) {
        switch (probe(path)) {
            case ProbeOutcome::opened:
                return true;
            case ProbeOutcome::refused:
                return false;
            case ProbeOutcome::unavailable:
                break;
        }
    }
    return true;
}

bool hasFullDiskAccess() { return hasFullDiskAccess(fullDiskAccessProbePaths()); }

std::string fullDiskAccessSettingsLink() {
    return "x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles";
}

}  // namespace qf
