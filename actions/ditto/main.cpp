// ditto: the archiver behind "压缩为 ZIP". It accepts exactly
//   ditto -c -k --sequesterRsrc --keepParent <source> <destination.zip>
// and writes a zip whose top entry is the source under its own name. It never
// replaces an existing destination, and a failed run leaves no archive.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>

#include "actions/ditto/zip_writer.h"
#include "actions/file_ops.h"
#include "base/path_names.h"
#include "base/unique_fd.h"
#include "core/hit.h"

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

int fail(const qf::Error& error) {
    std::fprintf(stderr, "ditto: %s\n", error.message().c_str());
    return kFailed;
}

bool argumentsMatch(int argc, char** argv) {
    constexpr std::array<std::string_view, 4> kFlags{"-c", "-k", "--sequesterRsrc", "--keepParent"};
    if (argc != 7) return false;
    for (size_t i = 0; i < kFlags.size(); ++i) {
        if (argv[i + 1] != kFlags[i]) return false;
    }
    return argv[5][0] != '\0' && argv[6][0] != '\0';
}

int archive(const std::string& source, const std::string& destination) {
    struct stat src {};
    if (lstat(source.c_str(), &src) != 0) return fail(qf::Error::lastErrno(source));
    // A zip holds files, folders and links; anything else (a FIFO, a socket,
    // a device) would give an archive without the item, or a read that never
    // ends.
    if (!S_ISREG(src.st_mode) && !S_ISDIR(src.st_mode) && !S_ISLNK(src.st_mode)) {
        return fail(
            qf::Error(qf::Errc::invalidInput, source + ": not a file, folder or link, so it cannot be archived"));
    }
    if (qf::itemExists(destination)) return fail(qf::Error::fromErrno(EEXIST, destination));

    std::string scratch = qf::joinPath(qf::containingFolder(destination), ".ditto-XXXXXX");
    qf::UniqueFd fd(mkstemp(scratch.data()));
    if (!fd.valid()) return fail(qf::Error::lastErrno(destination));
    struct stat self {};
    fstat(fd.get(), &self);

    auto written = qf::ditto::writeZip(fd.get(), source, self.st_dev, self.st_ino);
    const mode_t mask = umask(0);
    umask(mask);
    if (written && fchmod(fd.get(), 0666 & ~mask) != 0) written = qf::failedWith(errno);
    if (written && fsync(fd.get()) != 0) written = qf::failedWith(errno);
    if (fd.close() != 0 && written) written = qf::failedWith(errno);
    if (written) written = qf::renameNoReplace(scratch, destination);
    if (!written) {
        unlink(scratch.c_str());
        return fail(std::move(written).error().within(destination));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (!argumentsMatch(argc, argv)) {
        std::fprintf(stderr, "usage: ditto -c -k --sequesterRsrc --keepParent <source> <destination.zip>\n");
        return kUsage;
    }
    return archive(argv[5], argv[6]);
}
