#pragma once
// The width of the kind column: at least the layout's 96 pixels, and wide
// enough that the kinds of everyday files (office documents foremost, whose
// kinds are the longest) show whole in the user's language and the
// window's font. Rarer, longer kinds are elided, with the whole text in the
// cell's tool tip.
#include <QFont>

namespace qf {

// Measured once, on first use; the application must exist by then.
int kindColumnWidth();

// The measure itself: the widest kind of the common extensions in `font`,
// and never less than `minimum`.
int kindColumnWidth(const QFont& font, int minimum);

}  // namespace qf
