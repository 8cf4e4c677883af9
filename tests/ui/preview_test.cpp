// What the preview loads for each kind of file, and the pane that shows it
// after loading off the main thread.
#include <QBuffer>
#include <QImage>
#include <QTest>

#include "ui/preview_loader.h"
#include "ui/preview_pane.h"
#include "ui_test_support.h"

namespace qf {
namespace {

using Kind = PreviewContent::Kind;

QByteArray encodedImage(int width, int height, const char* format) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    image.save(&buffer, format);
    return bytes;
}

// A JPEG whose EXIF block says "rotate 90° clockwise to view": right after
// the start-of-image marker an APP1 segment of 34 bytes, "Exif", a
// big-endian header, one entry (orientation = 6), no next entry block.
QByteArray rotatedJpeg(int width, int height) {
    return encodedImage(width, height, "JPEG")
        .insert(2, QByteArray::fromHex("ffe10022457869660000"
                                       "4d4d002a000000080001011200030000000100060000"
                                       "00000000"));
}

class PreviewTest : public ::testing::Test {
protected:
    void SetUp() override { test::app(); }
    QString put(const char* name, const QByteArray& content) {
        return test::put(dir, QString::fromUtf8(name), content);
    }

    test::TempDir dir;
};

TEST_F(PreviewTest, EachKindOfFileLoadsAndShowsItsView) {
    const QString folder = test::mkdirs(dir, QStringLiteral("f"));
    const std::pair<QString, Kind> cases[] = {
        {put("notes.txt", "hello\n"), Kind::text},
        {put("main.cpp", "int main() { return 0; }\n"), Kind::text},  // source without a text suffix
        {put("run", "#!/bin/sh\necho hello\n"), Kind::text},
        {put("blob.bin", QByteArray::fromHex("7f454c4600000102")), Kind::placeholder},  // an executable
        {put("fake.txt", QByteArray("ab\0cd", 5)), Kind::placeholder},  // binary data behind a text suffix
        {put("broken.png", QByteArray("\x89PNG\r\n\x1a\n garbage", 17)), Kind::placeholder},
        {test::at(dir, QStringLiteral("gone.png")), Kind::placeholder},  // deleted since the search
        {put("p.png", encodedImage(60, 40, "PNG")), Kind::image},
        {folder, Kind::folder},
    };
    for (const auto& [file, kind] : cases) {
        const std::string path = file.toStdString();
        PreviewPane pane(file == folder ? test::folderHit(path) : test::fileHit(path, 4));
        pane.resize(320, 600);
        pane.show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return pane.isLoaded(); }, 8000)) << path;
        EXPECT_EQ(pane.kind(), kind) << path;
        EXPECT_TRUE(pane.contentWidget() && pane.contentWidget()->isVisible()) << path;
    }
}

TEST_F(PreviewTest, TextShowsItsBeginningCutAtALineOrWholeCharacter) {
    EXPECT_EQ(loadPreview(put("notes.txt", "first line\nsecond 行\n")).text, QStringLiteral("first line\nsecond 行\n"));
    EXPECT_FALSE(loadPreview(test::at(dir, QStringLiteral("notes.txt"))).truncated);

    QByteArray lines;
    for (int i = 0; i < 5000; ++i) lines += "line " + QByteArray::number(i) + "\n";
    const PreviewContent cut = loadPreview(put("big.log", lines), {.textBytes = 1000});
    EXPECT_TRUE(cut.truncated);
    EXPECT_LE(cut.text.toUtf8().size(), 1000);
    EXPECT_TRUE(cut.text.endsWith(QLatin1Char('\n')));

    // One long line of three-byte characters cut after 10 bytes (3 + 1/3).
    const PreviewContent wide =
        loadPreview(put("wide.txt", QStringLiteral("汉字汉字汉字汉字").toUtf8()), {.textBytes = 10});
    EXPECT_EQ(wide.text, QStringLiteral("汉字汉"));
}

TEST_F(PreviewTest, ImagesFitTheBoxUprightNeverEnlarged) {
    const std::tuple<const char*, QByteArray, QSize, QSize> cases[] = {
        {"big.png", encodedImage(2000, 1000, "PNG"), {400, 400}, {400, 200}},
        {"small.png", encodedImage(40, 30, "PNG"), {400, 400}, {40, 30}},
        // scaled in the orientation the picture is viewed in
        {"large.jpg", rotatedJpeg(1600, 800), {200, 1000}, {200, 400}},
    };
    for (const auto& [name, bytes, box, expected] : cases) {
        const PreviewContent content = loadPreview(put(name, bytes), {.imageBox = box});
        ASSERT_EQ(content.kind, Kind::image) << name;
        EXPECT_EQ(content.image.size(), expected) << name;
    }
}

TEST_F(PreviewTest, FoldersListTheirFirstEntriesSorted) {
    test::mkdirs(dir, QStringLiteral("dir/sub"));
    for (const char* name : {"dir/b.txt", "dir/A.txt", "dir/file10", "dir/file9"}) put(name, "x");
    const QString path = test::at(dir, QStringLiteral("dir"));
    const PreviewContent c = loadPreview(path);
    std::vector<QString> names;
    for (const auto& e : c.entries) names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<QString>{"A.txt", "b.txt", "file9", "file10", "sub"}));
    EXPECT_TRUE(c.entries.back().isDir);
    EXPECT_FALSE(c.entries.front().isDir);
    EXPECT_FALSE(c.truncated);
    const PreviewContent cut = loadPreview(path, {.folderEntries = 2});
    EXPECT_EQ(cut.entries.size(), 2u);
    EXPECT_TRUE(cut.truncated);
}

}  // namespace
}  // namespace qf
