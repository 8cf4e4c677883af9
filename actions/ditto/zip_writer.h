#pragma once
// Writes one item, under its own name, as the top entry of a zip archive:
// folders recursively, symbolic links stored as links, modes and
// modification times kept.
#include <sys/types.h>

#include <string>

#include "base/expected.h"

namespace qf::ditto {

// Writes the archive to the open file fd. Entries whose device and inode
// equal skipDev/skipIno (the archive being written) are left out. A failure
// names the item or says what the zip library could not do.
Expected<void> writeZip(int fd, const std::string& source, dev_t skipDev, ino_t skipIno);

}  // namespace qf::ditto
