#include "ui/theme.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPainter>
#include <QStyle>

namespace qf::theme {

namespace {

QColor withAlpha(QColor c, float alpha) {
    c.setAlphaF(alpha);
    return c;
}

}  // namespace

QColor primary(const QPalette& palette) { return palette.color(QPalette::WindowText); }

// Secondary and tertiary label colours are the primary colour, faded.
QColor secondary(const QPalette& palette) { return withAlpha(primary(palette), 0.55F); }
QColor tertiary(const QPalette& palette) { return withAlpha(primary(palette), 0.38F); }

QColor accent(const QPalette& palette) { return palette.color(QPalette::Highlight); }

QColor orange() { return QColor(255, 149, 0); }

QFont systemFont(int pixels, QFont::Weight weight) {
    QFont f = QApplication::font();
    f.setPixelSize(pixels);
    f.setWeight(weight);
    return f;
}

QFont captionFont() { return systemFont(11); }

QFont monospaceFont(int pixels) {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPixelSize(pixels);
    return f;
}

QIcon themeIcon(std::initializer_list<const char*> names, const QIcon& fallback) {
    for (const char* name : names) {
        if (QIcon::hasThemeIcon(QString::fromLatin1(name))) return QIcon::fromTheme(QString::fromLatin1(name));
    }
    return fallback;
}

QPixmap tinted(const QIcon& icon, int size, const QColor& colour, qreal devicePixelRatio) {
    QPixmap shape = icon.pixmap(QSize(size, size), devicePixelRatio);
    if (shape.isNull()) return shape;
    QPixmap out(shape.size());
    out.setDevicePixelRatio(shape.devicePixelRatio());
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.drawPixmap(0, 0, shape);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(QRect(QPoint(0, 0), shape.size()), colour);
    return out;
}

QIcon searchSymbol() {
    return themeIcon({"system-search-symbolic", "edit-find-symbolic", "system-search", "edit-find"},
                     QApplication::style()->standardIcon(QStyle::SP_FileDialogContentsView));
}

QIcon previewSymbol() {
    return themeIcon({"document-print-preview-symbolic", "document-print-preview", "view-reveal-symbolic"},
                     QApplication::style()->standardIcon(QStyle::SP_FileDialogDetailedView));
}

QIcon chevronDown() {
    return themeIcon({"pan-down-symbolic", "go-down-symbolic", "go-down"},
                     QApplication::style()->standardIcon(QStyle::SP_ArrowDown));
}

QIcon warningSymbol() {
    return themeIcon({"dialog-warning-symbolic", "dialog-warning"},
                     QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning));
}

}  // namespace qf::theme
