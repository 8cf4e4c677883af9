#include "ui/date_text.h"

#include <unicode/dtptngen.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <QLocale>

namespace qf {

namespace {

const QString kDash = QStringLiteral("—");

std::unique_ptr<icu::DateFormat> makeFormat(const icu::Locale& locale) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(locale, status));
    if (U_SUCCESS(status)) {
        icu::UnicodeString pattern = generator->getBestPattern(icu::UnicodeString(u"yMMMd"), status);
        if (U_SUCCESS(status)) {
            auto format = std::make_unique<icu::SimpleDateFormat>(pattern, locale, status);
            if (U_SUCCESS(status)) return format;
        }
    }
    return std::unique_ptr<icu::DateFormat>(icu::DateFormat::createDateInstance(icu::DateFormat::kMedium, locale));
}

}  // namespace

std::string userLocaleId() {
    const QLocale locale;
    if (locale.language() == QLocale::C) return "en_US";
    return locale.name().toStdString();
}

DateTextFormatter::DateTextFormatter(const std::string& localeId, const std::string& zoneId) {
    const std::string id = localeId.empty() ? userLocaleId() : localeId;
    format_ = makeFormat(icu::Locale::createCanonical(id.c_str()));
    if (format_ && !zoneId.empty())
        format_->adoptTimeZone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zoneId)));
}

DateTextFormatter::~DateTextFormatter() = default;

QString DateTextFormatter::text(const std::optional<Date>& date) const {
    if (!date || !format_) return kDash;
    icu::UnicodeString out;
    format_->format(static_cast<UDate>(*date * 1000.0), out);
    return QString(reinterpret_cast<const QChar*>(out.getBuffer()), out.length());
}

}  // namespace qf
