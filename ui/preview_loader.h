#pragma once
// Reads what the preview pane shows for one file. Runs on a worker thread:
// it touches the disk, but reads at most a bounded part of any file, so a
// huge file costs no more than a small one.
#include <QImage>
#include <QSize>
#include <QString>
#include <vector>

namespace qf {

struct PreviewLimits {
    QSize imageBox{640, 1280};    // images and PDF pages are scaled down to fit
    qint64 textBytes = 64 << 10;  // the first part of a text file
    int folderEntries = 200;      // the first entries of a folder
};

struct PreviewContent {
    enum class Kind { placeholder, image, text, folder };
    struct Entry {
        QString name;
        bool isDir = false;
    };

    Kind kind = Kind::placeholder;
    QImage image;                // image: the picture or the first PDF page
    QString text;                // text: the first part of the file
    std::vector<Entry> entries;  // folder: visible entries, sorted by name
    bool truncated = false;      // text or entries cut at their limit
};

PreviewContent loadPreview(const QString& path, const PreviewLimits& limits = {});

}  // namespace qf
