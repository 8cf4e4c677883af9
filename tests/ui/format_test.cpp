// Size and date texts of the results table.
#include <gtest/gtest.h>

#include "ui/date_text.h"
#include "ui/size_text.h"
#include "ui_test_support.h"

namespace qf {
namespace {

struct SizeCase {
    std::int64_t bytes;
    const char* locale;
    const char* expected;
};

void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.bytes << "@" << c.locale; }

class ByteCountText : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ByteCountText, MatchesFileStyle) {
    const SizeCase& c = GetParam();
    EXPECT_EQ(byteCountText(c.bytes, QLocale(QString::fromLatin1(c.locale))).toStdString(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Units, ByteCountText,
    ::testing::Values(SizeCase{0, "en_US", "0 bytes"}, SizeCase{1, "en_US", "1 byte"},
                      SizeCase{999, "en_US", "999 bytes"},
                      // decimal multiples: 1 KB is 1000 bytes, not 1024
                      SizeCase{1000, "en_US", "1 KB"}, SizeCase{1024, "en_US", "1 KB"},
                      SizeCase{1499, "en_US", "1 KB"}, SizeCase{1500, "en_US", "2 KB"},
                      SizeCase{999499, "en_US", "999 KB"},
                      // rounding up to 1000 KB moves on to the next unit
                      SizeCase{999500, "en_US", "1 MB"}, SizeCase{1000000, "en_US", "1 MB"},
                      SizeCase{1500000, "en_US", "1.5 MB"}, SizeCase{12345678, "en_US", "12.3 MB"},
                      SizeCase{1234567890, "en_US", "1.23 GB"}, SizeCase{2000000000, "en_US", "2 GB"},
                      SizeCase{1100000000, "en_US", "1.1 GB"}, SizeCase{3210000000000, "en_US", "3.21 TB"},
                      SizeCase{INT64_MAX, "en_US", "9.22 EB"},
                      // number localised: decimal comma, Chinese byte unit
                      SizeCase{1500000, "de_DE", "1,5 MB"}, SizeCase{512, "zh_CN", "512 字节"},
                      SizeCase{2500000000, "fr_FR", "2,5 GB"}));

TEST(SizeText, FoldersAndUnknownSizesShowADash) {
    const QLocale en(QStringLiteral("en_US"));
    const Hit folder = test::folderHit("/data/photos");
    const Hit folderWithSize("/data/x", "x", true, 4096, std::nullopt, std::nullopt, "Folder");
    const Hit unknown = test::fileHit("/data/gone.txt", -1);
    const Hit empty = test::fileHit("/data/empty.txt", 0);
    EXPECT_EQ(sizeText(folder, en), QStringLiteral("—"));
    EXPECT_EQ(sizeText(folderWithSize, en), QStringLiteral("—"));
    EXPECT_EQ(sizeText(unknown, en), QStringLiteral("—"));
    // An empty file has a size; it is not unknown.
    EXPECT_EQ(sizeText(empty, en), QStringLiteral("0 bytes"));
}

struct DateCase {
    const char* locale;
    const char* zone;
    Date when;
    const char* expected;
};

void PrintTo(const DateCase& c, std::ostream* os) { *os << c.locale << "@" << c.zone << "@" << c.when; }

class DateText : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateText, YearAbbreviatedMonthDay) {
    const DateCase& c = GetParam();
    const DateTextFormatter formatter(c.locale, c.zone);
    EXPECT_EQ(formatter.text(c.when).toStdString(), c.expected);
}

// 2024-01-02 10:00:00 UTC and 2024-01-01 23:30:00 UTC
constexpr Date kJan2 = 1704189600.0;
constexpr Date kLateJan1 = 1704151800.0;

INSTANTIATE_TEST_SUITE_P(
    Locales, DateText,
    ::testing::Values(DateCase{"en_US", "UTC", kJan2, "Jan 2, 2024"}, DateCase{"zh_CN", "UTC", kJan2, "2024年1月2日"},
                      DateCase{"de_DE", "UTC", kJan2, "2. Jan. 2024"}, DateCase{"en_GB", "UTC", kJan2, "2 Jan 2024"},
                      // the day is the day in the user's time zone
                      DateCase{"en_US", "UTC", kLateJan1, "Jan 1, 2024"},
                      DateCase{"en_US", "Asia/Shanghai", kLateJan1, "Jan 2, 2024"},
                      DateCase{"en_US", "America/New_York", kJan2, "Jan 2, 2024"}));

TEST(DateText, AbsentDateShowsADash) {
    const DateTextFormatter formatter("en_US", "UTC");
    EXPECT_EQ(formatter.text(std::nullopt), QStringLiteral("—"));
}

TEST(DateText, NoTimeOfDay) {
    const DateTextFormatter formatter("en_US", "UTC");
    const QString text = formatter.text(kJan2);
    EXPECT_FALSE(text.contains(QLatin1Char(':'))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("10"))) << text.toStdString();
}

}  // namespace
}  // namespace qf
