// What the preview pane loads for each kind of file.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include "ui/preview_loader.h"
#include "ui_test_support.h"

namespace qf {
namespace {

using Kind = PreviewContent::Kind;

class PreviewLoaderTest : public ::testing::Test {
protected:
    void SetUp() override { test::app(); }
    test::Sandbox box;
};

QByteArray encodedImage(int width, int height, const char* format) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// A JPEG whose EXIF block says "rotate 90° clockwise to view" (orientation 6).
QByteArray rotatedJpeg(int width, int height) {
    QByteArray jpeg = encodedImage(width, height, "JPEG");
    const QByteArray tiff = QByteArray("MM\0*\0\0\0\x08", 8) +  // big-endian, first IFD at 8
                            QByteArray("\0\x01", 2) +            // one entry
                            QByteArray("\x01\x12\0\x03\0\0\0\x01\0\x06\0\0", 12) +  // orientation = 6
                            QByteArray("\0\0\0\0", 4);           // no next IFD
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    const int length = static_cast<int>(payload.size()) + 2;
    QByteArray segment("\xFF\xE1", 2);
    segment.append(static_cast<char>(length >> 8)).append(static_cast<char>(length & 0xFF)).append(payload);
    jpeg.insert(2, segment);  // right after the start-of-image marker
    return jpeg;
}

TEST_F(PreviewLoaderTest, TextFilesShowTheirBeginning) {
    const QString path = box.writeFile(QStringLiteral("notes.txt"), "first line\nsecond 行\n");
    const PreviewContent c = loadPreview(path);
    EXPECT_EQ(c.kind, Kind::text);
    EXPECT_EQ(c.text, QStringLiteral("first line\nsecond 行\n"));
    EXPECT_FALSE(c.truncated);
}

TEST_F(PreviewLoaderTest, SourceFilesWithoutTextSuffixAreText) {
    const QString path = box.writeFile(QStringLiteral("main.cpp"), "int main() { return 0; }\n");
    const QString script = box.writeFile(QStringLiteral("run"), "#!/bin/sh\necho hello\n");
    EXPECT_EQ(loadPreview(path).kind, Kind::text);
    EXPECT_EQ(loadPreview(script).kind, Kind::text);
}

TEST_F(PreviewLoaderTest, LargeTextIsCutAtALineWithinTheLimit) {
    QByteArray content;
    for (int i = 0; i < 5000; ++i) content += "line " + QByteArray::number(i) + "\n";
    const QString path = box.writeFile(QStringLiteral("big.log"), content);
    PreviewLimits limits;
    limits.textBytes = 1000;
    const PreviewContent c = loadPreview(path, limits);
    ASSERT_EQ(c.kind, Kind::text);
    EXPECT_TRUE(c.truncated);
    EXPECT_LE(c.text.toUtf8().size(), 1000);
    EXPECT_TRUE(c.text.endsWith(QLatin1Char('\n')));
    EXPECT_TRUE(c.text.startsWith(QStringLiteral("line 0\nline 1\n")));
}

TEST_F(PreviewLoaderTest, ACutInsideAMultiByteCharacterDropsThePartialCharacter) {
    // One long line of three-byte characters, cut after 10 bytes (3 + 1/3).
    const QString path = box.writeFile(QStringLiteral("wide.txt"), QStringLiteral("汉字汉字汉字汉字").toUtf8());
    PreviewLimits limits;
    limits.textBytes = 10;
    const PreviewContent c = loadPreview(path, limits);
    ASSERT_EQ(c.kind, Kind::text);
    EXPECT_EQ(c.text, QStringLiteral("汉字汉"));
    EXPECT_FALSE(c.text.contains(QChar::ReplacementCharacter));
}

TEST_F(PreviewLoaderTest, BinaryFilesGetThePlaceholder) {
    const QString path = box.writeFile(QStringLiteral("blob.bin"), QByteArray("\x7F" "ELF\0\0\x01\x02", 8));
    EXPECT_EQ(loadPreview(path).kind, Kind::placeholder);
    // A .txt that holds binary data is not shown as text either.
    const QString fake = box.writeFile(QStringLiteral("fake.txt"), QByteArray("ab\0cd", 5));
    EXPECT_EQ(loadPreview(fake).kind, Kind::placeholder);
}

TEST_F(PreviewLoaderTest, MissingFilesGetThePlaceholder) {
    EXPECT_EQ(loadPreview(box.path(QStringLiteral("gone.png"))).kind, Kind::placeholder);
}

TEST_F(PreviewLoaderTest, ImagesAreScaledDownToTheBoxKeepingProportions) {
    const QString big = box.writeFile(QStringLiteral("big.png"), encodedImage(2000, 1000, "PNG"));
    const QString small = box.writeFile(QStringLiteral("small.png"), encodedImage(40, 30, "PNG"));
    PreviewLimits limits;
    limits.imageBox = QSize(400, 400);
    const PreviewContent b = loadPreview(big, limits);
    ASSERT_EQ(b.kind, Kind::image);
    EXPECT_EQ(b.image.size(), QSize(400, 200));
    const PreviewContent s = loadPreview(small, limits);
    ASSERT_EQ(s.kind, Kind::image);
    EXPECT_EQ(s.image.size(), QSize(40, 30));  // never enlarged
}

TEST_F(PreviewLoaderTest, ImagesFollowTheirExifOrientation) {
    const QString path = box.writeFile(QStringLiteral("photo.jpg"), rotatedJpeg(80, 40));
    const PreviewContent c = loadPreview(path);
    ASSERT_EQ(c.kind, Kind::image);
    EXPECT_EQ(c.image.size(), QSize(40, 80));

    // Scaling to the box happens in the orientation the picture is viewed in.
    const QString large = box.writeFile(QStringLiteral("large.jpg"), rotatedJpeg(1600, 800));
    PreviewLimits limits;
    limits.imageBox = QSize(200, 1000);
    const PreviewContent l = loadPreview(large, limits);
    ASSERT_EQ(l.kind, Kind::image);
    EXPECT_EQ(l.image.size(), QSize(200, 400));
}

TEST_F(PreviewLoaderTest, BrokenImagesGetThePlaceholder) {
    const QString path = box.writeFile(QStringLiteral("broken.png"), QByteArray("\x89PNG\r\n\x1a\n garbage", 17));
    EXPECT_EQ(loadPreview(path).kind, Kind::placeholder);
}

TEST_F(PreviewLoaderTest, FoldersListTheirFirstEntriesSorted) {
    const QString folder = box.makeFolder(QStringLiteral("dir"));
    box.writeFile(QStringLiteral("dir/b.txt"), "b");
    box.writeFile(QStringLiteral("dir/A.txt"), "a");
    box.writeFile(QStringLiteral("dir/file10"), "");
    box.writeFile(QStringLiteral("dir/file9"), "");
    box.makeFolder(QStringLiteral("dir/sub"));
    const PreviewContent c = loadPreview(folder);
    ASSERT_EQ(c.kind, Kind::folder);
    std::vector<QString> names;
    for (const auto& e : c.entries) names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<QString>{"A.txt", "b.txt", "file9", "file10", "sub"}));
    EXPECT_TRUE(c.entries.back().isDir);
    EXPECT_FALSE(c.entries.front().isDir);
    EXPECT_FALSE(c.truncated);

    PreviewLimits limits;
    limits.folderEntries = 2;
    const PreviewContent cut = loadPreview(folder, limits);
    EXPECT_EQ(cut.entries.size(), 2u);
    EXPECT_TRUE(cut.truncated);
}

#ifdef QF_HAVE_QTPDF
TEST_F(PreviewLoaderTest, PdfShowsItsFirstPage) {
    const QString path = box.path(QStringLiteral("doc.pdf"));
    {
        QPdfWriter writer(path);
        writer.setPageSize(QPageSize(QPageSize::A4));
        QPainter painter(&writer);
        painter.fillRect(QRect(0, 0, 2000, 2000), Qt::black);
        writer.newPage();
    }
    PreviewLimits limits;
    limits.imageBox = QSize(300, 600);
    const PreviewContent c = loadPreview(path, limits);
    ASSERT_EQ(c.kind, Kind::image);
    EXPECT_EQ(c.image.width(), 300);
    EXPECT_NEAR(c.image.height(), 424, 2);  // A4 proportions
    // The black square at the top left was drawn; the bottom right is paper.
    EXPECT_EQ(QColor(c.image.pixel(5, 5)).lightness(), 0);
    EXPECT_EQ(QColor(c.image.pixel(295, 420)).lightness(), 255);
}
#endif

}  // namespace
}  // namespace qf
