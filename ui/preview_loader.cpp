#include "ui/preview_loader.h"

#include <QCollator>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLocale>
#include <QMimeDatabase>
#include <QPainter>
#include <algorithm>

#ifdef QF_HAVE_QTPDF
#include <QPdfDocument>
#endif

namespace qf {

namespace {

QSize fitWithin(QSize size, const QSize& box) {
    if (size.width() <= box.width() && size.height() <= box.height()) return size;
    return size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

PreviewContent folderPreview(const QString& path, const PreviewLimits& limits) {
    PreviewContent content;
    content.kind = PreviewContent::Kind::folder;
    QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    while (it.hasNext()) {
        if (static_cast<int>(content.entries.size()) >= limits.folderEntries) {
            content.truncated = true;
            break;
        }
        it.next();
        const QFileInfo info = it.fileInfo();
        content.entries.push_back({info.fileName(), info.isDir() && !info.isSymLink()});
    }
    // The C locale has no collation and would put file10 before file9.
    const QLocale locale;
    QCollator collator(locale.language() == QLocale::C ? QLocale(QLocale::English) : locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(content.entries.begin(), content.entries.end(),
              [&](const auto& a, const auto& b) { return collator.compare(a.name, b.name) < 0; });
    return content;
}

bool imagePreview(const QString& path, const PreviewLimits& limits, PreviewContent& content) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    if (!reader.canRead()) return false;
    const QSize stored = reader.size();
    if (stored.isValid()) {
        // The scaled size is applied before the EXIF orientation is.
        const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
        const QSize box = turned ? limits.imageBox.transposed() : limits.imageBox;
        const QSize target = fitWithin(stored, box);
        if (target != stored) reader.setScaledSize(target);
    }
    QImage image = reader.read();
    if (image.isNull()) return false;
    if (!stored.isValid())
        image = image.scaled(fitWithin(image.size(), limits.imageBox), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    content.kind = PreviewContent::Kind::image;
    content.image = std::move(image);
    return true;
}

#ifdef QF_HAVE_QTPDF
bool pdfPreview(const QString& path, const PreviewLimits& limits, PreviewContent& content) {
    QPdfDocument document;
    if (document.load(path) != QPdfDocument::Error::None || document.pageCount() < 1) return false;
    const QSize size = document.pagePointSize(0).scaled(QSizeF(limits.imageBox), Qt::KeepAspectRatio).toSize();
    if (size.isEmpty()) return false;
    const QImage page = document.render(0, size);
    if (page.isNull()) return false;
    // Pages come with a transparent background; paper is white.
    QImage paper(page.size(), QImage::Format_RGB32);
    paper.fill(Qt::white);
    QPainter(&paper).drawImage(0, 0, page);
    content.kind = PreviewContent::Kind::image;
    content.image = std::move(paper);
    return true;
}
#endif

// The length of the longest prefix that does not end inside a UTF-8 sequence.
qsizetype completeUtf8Length(const QByteArray& bytes) {
    qsizetype lead = bytes.size();
    int continuation = 0;
    while (lead > 0 && continuation < 4 && (static_cast<unsigned char>(bytes[lead - 1]) & 0xC0) == 0x80) {
        --lead;
        ++continuation;
    }
    if (lead == 0) return bytes.size();
    const auto first = static_cast<unsigned char>(bytes[lead - 1]);
    const int expected = first >= 0xF0 ? 3 : first >= 0xE0 ? 2 : first >= 0xC0 ? 1 : 0;
    if (first >= 0xC0 && continuation < expected) return lead - 1;
    return bytes.size();
}

bool textPreview(const QString& path, const PreviewLimits& limits, PreviewContent& content) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = file.read(limits.textBytes);
    if (head.contains('\0')) return false;  // binary after all
    const bool truncated = !file.atEnd() && file.size() > head.size();
    QByteArray kept = head;
    if (truncated) {
        // Never show half a line, or at least half a character, at the cut.
        const qsizetype lastLine = kept.lastIndexOf('\n');
        if (lastLine > 0)
            kept.truncate(lastLine + 1);
        else
            kept.truncate(completeUtf8Length(kept));
    }
    content.kind = PreviewContent::Kind::text;
    content.text = QString::fromUtf8(kept);
    content.truncated = truncated;
    return true;
}

bool isTextType(const QMimeType& type) {
    return type.inherits(QStringLiteral("text/plain")) || type.name().startsWith(QLatin1String("text/"));
}

}  // namespace

PreviewContent loadPreview(const QString& path, const PreviewLimits& limits) {
    PreviewContent content;
    const QFileInfo info(path);
    if (!info.exists()) return content;
    if (info.isDir()) return folderPreview(path, limits);
    if (!info.isFile() || !info.isReadable()) return content;

    const QMimeType type = QMimeDatabase().mimeTypeForFile(info);
    if (type.name().startsWith(QLatin1String("image/")) && imagePreview(path, limits, content)) return content;
#ifdef QF_HAVE_QTPDF
    if (type.inherits(QStringLiteral("application/pdf")) && pdfPreview(path, limits, content)) return content;
#endif
    if (isTextType(type) && textPreview(path, limits, content)) return content;
    return content;
}

}  // namespace qf
