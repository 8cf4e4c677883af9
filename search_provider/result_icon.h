#pragma once
// Themed icon names for a result, from its name alone: the desktop asks for
// many at once, and reading each file to guess its type could stall on a
// slow disk.
#include <QStringList>

#include "core/hit.h"

namespace qf {

// Most specific first; the last one exists in every icon theme.
QStringList iconNamesFor(const Hit& hit);

// The names in the form GIO writes a themed icon as text, for GNOME Shell.
QString gioIconString(const QStringList& names);

}  // namespace qf
