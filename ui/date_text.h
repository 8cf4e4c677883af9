#pragma once
// Dates as the results table shows them: year, abbreviated month and day in
// the user's locale and time zone, no time of day.
#include <QString>
#include <memory>
#include <optional>
#include <string>

#include "core/hit.h"

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class DateFormat;
U_NAMESPACE_END

namespace qf {

class DateTextFormatter {
public:
    // An empty locale id means the user's locale; an empty zone id the
    // system time zone. Building the formatter is the costly part, so one
    // instance serves a whole result list.
    explicit DateTextFormatter(const std::string& localeId = {}, const std::string& zoneId = {});
    ~DateTextFormatter();
    DateTextFormatter(const DateTextFormatter&) = delete;
    DateTextFormatter& operator=(const DateTextFormatter&) = delete;

    // "—" when the date is absent.
    QString text(const std::optional<Date>& date) const;

private:
    std::unique_ptr<icu::DateFormat> format_;
};

// The user's locale as an ICU locale id ("zh_CN", "en_US", ...).
std::string userLocaleId();

}  // namespace qf
