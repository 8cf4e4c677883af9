// Size and date texts of the results table.
#include <gtest/gtest.h>

#include "ui/date_text.h"
#include "ui/size_text.h"

namespace qf {
namespace {

TEST(SizeText, DecimalUnitsLocalisedNumbers) {
    const struct {
        std::int64_t bytes;
        const char* locale;
        const char* expected;
    } cases[] = {
        {1, "en_US", "1 byte"},
        {999, "en_US", "999 bytes"},
        // decimal multiples: 1 KB is 1000 bytes, not 1024
        {1000, "en_US", "1 KB"},
        {1500, "en_US", "2 KB"},
        // rounding up to 1000 KB moves on to the next unit
        {999499, "en_US", "999 KB"},
        {999500, "en_US", "1 MB"},
        {12345678, "en_US", "12.3 MB"},
        {1234567890, "en_US", "1.23 GB"},
        {INT64_MAX, "en_US", "9.22 EB"},
        {1500000, "de_DE", "1,5 MB"},
        {512, "zh_CN", "512 字节"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(byteCountText(c.bytes, QLocale(QString::fromLatin1(c.locale))).toStdString(), c.expected)
            << c.bytes << "@" << c.locale;
}

TEST(DateText, YearAbbreviatedMonthDayInTheUsersZone) {
    constexpr Date kJan2 = 1704189600.0;      // 2024-01-02 10:00:00 UTC
    constexpr Date kLateJan1 = 1704151800.0;  // 2024-01-01 23:30:00 UTC
    const struct {
        const char* locale;
        const char* zone;
        std::optional<Date> when;
        const char* expected;
    } cases[] = {
        {"en_US", "UTC", kJan2, "Jan 2, 2024"},     {"zh_CN", "UTC", kJan2, "2024年1月2日"},
        {"de_DE", "UTC", kJan2, "2. Jan. 2024"},    {"en_GB", "UTC", kJan2, "2 Jan 2024"},
        {"en_US", "UTC", kLateJan1, "Jan 1, 2024"}, {"en_US", "Asia/Shanghai", kLateJan1, "Jan 2, 2024"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DateTextFormatter(c.locale, c.zone).text(c.when).toStdString(), c.expected)
            << c.locale << "@" << c.zone;
}

}  // namespace
}  // namespace qf
