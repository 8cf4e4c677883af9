#pragma once
// The window's semantic colours, type sizes and symbol icons, mapped from the
// desktop design onto the Qt palette and icon theme. Sizes are in pixels so
// the fixed column widths and the text keep their proportions at any DPI
// setting of the font system.
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPalette>
#include <QPixmap>
#include <QString>
#include <initializer_list>

namespace qf::theme {

QColor primary(const QPalette& palette);
QColor secondary(const QPalette& palette);
QColor tertiary(const QPalette& palette);
QColor accent(const QPalette& palette);
QColor orange();

// The system font at `pixels`, in the given weight.
QFont systemFont(int pixels, QFont::Weight weight = QFont::Normal);
// The caption text style.
QFont captionFont();
QFont monospaceFont(int pixels);

// The first icon of `names` that the icon theme holds, else `fallback`.
QIcon themeIcon(std::initializer_list<const char*> names, const QIcon& fallback = {});
// The icon drawn as a single-colour silhouette, as symbol images are.
QPixmap tinted(const QIcon& icon, int size, const QColor& colour, qreal devicePixelRatio = 1.0);

// The symbol images of the window.
QIcon searchSymbol();   // magnifying glass
QIcon previewSymbol();  // document with magnifying glass
QIcon chevronDown();
QIcon warningSymbol();

}  // namespace qf::theme
