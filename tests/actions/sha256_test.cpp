#include "actions/sha256_file.h"

#include <sys/stat.h>

#include <QCryptographicHash>

#include "support.h"

namespace qf {
namespace {

using test::TempDir;

std::string patterned(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
    return s;
}

// Checked against an independent one-shot digest of the whole content.
TEST(Sha256File, ChunkBoundaries) {
    const struct {
        std::size_t size, chunkBytes;
        std::int64_t chunks;
    } cases[] = {{0, kDigestChunkBytes, 0},
                 {1, kDigestChunkBytes, 1},
                 {kDigestChunkBytes, kDigestChunkBytes, 1},
                 {kDigestChunkBytes + 1, kDigestChunkBytes, 2},
                 {10007, 1000, 11}};
    TempDir dir;
    for (const auto& c : cases) {
        const std::string content = patterned(c.size);
        test::writeFile(dir / "f", content);
        const FileDigest d = sha256File(dir / "f", c.chunkBytes);
        EXPECT_TRUE(d.ok()) << c.size;
        EXPECT_EQ(d.chunks, c.chunks) << c.size;
        EXPECT_EQ(d.hex, QCryptographicHash::hash(QByteArray::fromStdString(content), QCryptographicHash::Sha256)
                             .toHex()
                             .toStdString())
            << c.size;
    }
}

TEST(Sha256File, UnreadableItemsAreNotDigests) {
    TempDir dir;
    ASSERT_EQ(mkdir((dir / "folder").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);  // would block a naive open()
    for (const char* name : {"missing", "folder", "fifo"}) {
        const FileDigest d = sha256File(dir / name);
        EXPECT_FALSE(d.opened) << name;
        EXPECT_FALSE(d.ok()) << name;
    }
}

}  // namespace
}  // namespace qf
