#include "ui/kind_column.h"

#include <QFontMetrics>
#include <algorithm>

#include "core/hit.h"
#include "ui/theme.h"

namespace qf {

namespace {

constexpr int kLayoutWidth = 96;
// Beyond this the name column, the one that matters, would pay too much.
constexpr int kWidest = 160;

// The office formats have the longest kinds among everyday files ("Excel
// 2007 电子表格"); pictures, media, archives and code are short. Each
// lookup reads the MIME database, so the list stays short.
constexpr const char* kCommonExtensions[] = {
    "txt", "pdf", "doc", "docx", "xls", "xlsx", "ppt", "pptx", "odt", "ods", "odp", "zip",
};

}  // namespace

int kindColumnWidth(const QFont& font, int minimum) {
    const QFontMetrics metrics(font);
    int widest = minimum;
    for (const char* ext : kCommonExtensions) {
        const std::string kind = kindOf(std::string("x.") + ext, false);
        // A pixel more than the measure: rounding must not elide the text.
        widest = std::max(widest, metrics.horizontalAdvance(QString::fromStdString(kind)) + 1);
    }
    return std::min(widest, kWidest);
}

int kindColumnWidth() {
    static const int width = kindColumnWidth(theme::systemFont(11), kLayoutWidth);
    return width;
}

}  // namespace qf
