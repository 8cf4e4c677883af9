#pragma once
// Byte counts as a file manager shows them: decimal multiples
// (1 KB = 1000 bytes), unit chosen by magnitude, number localised.
#include <QLocale>
#include <QString>
#include <cstdint>

#include "core/hit.h"

namespace qf {

QString byteCountText(std::int64_t bytes, const QLocale& locale = QLocale());
// "—" for folders and for items whose size is unknown (negative).
QString sizeText(const Hit& hit, const QLocale& locale = QLocale());

}  // namespace qf
