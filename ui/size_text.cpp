#include "ui/size_text.h"

#include <array>
#include <cmath>

namespace qf {

namespace {

struct Unit {
    const char* name;
    int decimals;  // larger units keep more digits, as file managers do
};

constexpr std::array<Unit, 6> kUnits{{
    {"KB", 0},
    {"MB", 1},
    {"GB", 2},
    {"TB", 2},
    {"PB", 2},
    {"EB", 2},
}};

bool isChinese(const QLocale& locale) { return locale.language() == QLocale::Chinese; }

QString bytesText(std::int64_t bytes, const QLocale& locale) {
    QString number = locale.toString(static_cast<qlonglong>(bytes));
    if (isChinese(locale)) return number + QStringLiteral(" 字节");
    return number + (bytes == 1 ? QStringLiteral(" byte") : QStringLiteral(" bytes"));
}

// Fixed decimals, then trailing zeros (and a bare decimal point) dropped:
// 1.50 MB reads "1.5 MB", 2.00 GB reads "2 GB".
QString trimmedNumber(double value, int decimals, const QLocale& locale) {
    QString s = locale.toString(value, 'f', decimals);
    if (decimals == 0) return s;
    const QString point = locale.decimalPoint();
    const QString zero = locale.zeroDigit();
    const qsizetype at = s.lastIndexOf(point);
    if (at < 0) return s;
    while (s.endsWith(zero) && s.size() > at + point.size()) s.chop(zero.size());
    if (s.endsWith(point)) s.chop(point.size());
    return s;
}

double roundTo(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

}  // namespace

QString byteCountText(std::int64_t bytes, const QLocale& locale) {
    if (bytes < 1000) return bytesText(bytes, locale);
    double value = static_cast<double>(bytes);
    for (std::size_t i = 0; i < kUnits.size(); ++i) {
        value /= 1000.0;
        const double shown = roundTo(value, kUnits[i].decimals);
        // 999,999 bytes rounds to 1000 KB; it reads better as 1 MB.
        if (shown < 1000.0 || i + 1 == kUnits.size())
            return trimmedNumber(shown, kUnits[i].decimals, locale) + QLatin1Char(' ') + QLatin1String(kUnits[i].name);
    }
    return {};
}

QString sizeText(const Hit& hit, const QLocale& locale) {
    if (hit.isDir() || hit.size() < 0) return QStringLiteral("—");
    return byteCountText(hit.size(), locale);
}

}  // namespace qf
