#include "actions/sha256_file.h"

#include <sys/stat.h>

#include <QCryptographicHash>
#include <gtest/gtest.h>
#include <regex>

#include "support.h"

namespace qf {
namespace {

using test::TempDir;
using test::writeFile;

// Independent one-shot digest of the whole content.
std::string referenceDigest(const std::string& content) {
    return QCryptographicHash::hash(QByteArray::fromStdString(content), QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

std::string patterned(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
    return s;
}

TEST(Sha256File, PublishedTestVectors) {
    // FIPS 180-2 examples and the digest of empty input.
    const std::pair<std::string, const char*> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    TempDir dir;
    for (const auto& [content, digest] : cases) {
        writeFile(dir / "f", content);
        const FileDigest d = sha256File(dir / "f");
        EXPECT_TRUE(d.ok());
        EXPECT_EQ(d.hex, digest);
    }
}

TEST(Sha256File, ChunkBoundaries) {
    struct Case {
        std::size_t size;
        std::int64_t chunks;
    };
    const Case cases[] = {{0, 0}, {1, 1}, {kDigestChunkBytes - 1, 1}, {kDigestChunkBytes, 1},
                          {kDigestChunkBytes + 1, 2}, {2 * kDigestChunkBytes + 7, 3}};
    TempDir dir;
    for (const Case& c : cases) {
        const std::string content = patterned(c.size);
        writeFile(dir / "f", content);
        const FileDigest d = sha256File(dir / "f");
        EXPECT_TRUE(d.ok()) << c.size;
        EXPECT_EQ(d.chunks, c.chunks) << c.size;
        EXPECT_EQ(d.hex, referenceDigest(content)) << c.size;
        EXPECT_TRUE(std::regex_match(d.hex, std::regex("[0-9a-f]{64}"))) << d.hex;
    }
}

TEST(Sha256File, SmallChunksGiveTheSameDigest) {
    TempDir dir;
    const std::string content = patterned(10007);
    writeFile(dir / "f", content);
    const FileDigest d = sha256File(dir / "f", 1000);
    EXPECT_EQ(d.chunks, 11);
    EXPECT_EQ(d.hex, referenceDigest(content));
}

TEST(Sha256File, UnreadableItemsAreNotDigests) {
    TempDir dir;
    ASSERT_EQ(mkdir((dir / "folder").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);  // would block a naive open()
    for (const char* name : {"missing", "folder", "fifo"}) {
        const FileDigest d = sha256File(dir / name);
        EXPECT_FALSE(d.opened) << name;
        EXPECT_FALSE(d.ok()) << name;
        EXPECT_EQ(d.hex.size(), 64u) << name;
    }
}

}  // namespace
}  // namespace qf
