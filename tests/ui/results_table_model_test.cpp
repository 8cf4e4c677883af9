// The rows behind the results table, and their size and date texts.
#include <QRegularExpression>

#include "ui/date_text.h"
#include "ui/index_progress.h"
#include "ui/results_table_model.h"
#include "ui/size_text.h"
#include "ui_test_support.h"

namespace qf {
namespace {

constexpr Date kJan2 = 1704189600.0;      // 2024-01-02 10:00:00 UTC
constexpr Date kLateJan1 = 1704151800.0;  // 2024-01-01 23:30:00 UTC

TEST(SizeText, DecimalUnitsLocalisedNumbers) {
    const std::tuple<std::int64_t, const char*, const char*> cases[] = {
        {1, "en_US", "1 byte"},
        {999, "en_US", "999 bytes"},
        // decimal multiples: 1 KB is 1000 bytes, not 1024
        {1000, "en_US", "1 KB"},
        // rounding up to 1000 KB moves on to the next unit
        {999499, "en_US", "999 KB"},
        {999500, "en_US", "1 MB"},
        {12345678, "en_US", "12.3 MB"},
        {1234567890, "en_US", "1.23 GB"},
        {2000000000, "en_US", "2 GB"},  // no bare decimal point
        {INT64_MAX, "en_US", "9.22 EB"},
        {1500000, "de_DE", "1,5 MB"},
    };
    for (const auto& [bytes, locale, expected] : cases)
        EXPECT_EQ(byteCountText(bytes, QLocale(QString::fromLatin1(locale))).toStdString(), expected)
            << bytes << "@" << locale;
}

// A C session dates like en_US, and the crawl's count is Chinese inside its
// Chinese sentence whatever the machine's locale.
TEST(DateText, YearAbbreviatedMonthDayInTheUsersZoneAndLocale) {
    const std::tuple<const char*, const char*, Date, const char*> cases[] = {
        {"zh_CN", "UTC", kJan2, "2024年1月2日"},
        {"en_US", "UTC", kLateJan1, "Jan 1, 2024"},
        {"en_US", "Asia/Shanghai", kLateJan1, "Jan 2, 2024"},
    };
    for (const auto& [locale, zone, when, expected] : cases)
        EXPECT_EQ(DateTextFormatter(locale, zone).text(when).toStdString(), expected) << locale << "@" << zone;
    const QLocale before;
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(userLocaleId(), "en_US");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_TRUE(crawlProgressText(1234567).contains(QStringLiteral("1,234,567")));
    QLocale::setDefault(before);
}

TEST(ResultsTableModel, RowTextsFollowTheHitsAndAPathFindsItsFirstRow) {
    test::app();
    ResultsTableModel table;
    table.setFormatting(QLocale(QStringLiteral("en_US")), "en_US", "UTC");
    constexpr Date kMar15 = 1710496800.0;  // 2024-03-15 10:00 UTC
    table.setHits({
        test::fileHit("/home/u/report.pdf", 1500000, kMar15, kJan2, "PDF document"),
        test::folderHit("/home/u/photos"),
        test::fileHit("/数据/报告 2024.docx", 0),
        // A size the index reports for a folder is not shown; an unknown one neither.
        Hit("/home/u/x", "x", true, 4096, std::nullopt, std::nullopt, "Folder"),
        test::fileHit("/home/u/gone.txt", -1),
    });
    const std::vector<std::vector<QString>> expected{
        {"report.pdf", "PDF document", "1.5 MB", "Jan 2, 2024", "Mar 15, 2024"},
        {"photos", "Folder", "—", "—", "—"},
        {"报告 2024.docx", "Plain text", "0 bytes", "—", "—"},
        {"x", "Folder", "—", "—", "—"},
        {"gone.txt", "Plain text", "—", "—", "—"},
    };
    ASSERT_EQ(table.rowCount(), 5);
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 5; ++c) EXPECT_EQ(table.index(r, c).data().toString(), expected[r][c]) << r << "," << c;
    EXPECT_EQ(table.index(1, 3).data(ResultsTableModel::pathRole).toString(), QStringLiteral("/home/u/photos"));
    EXPECT_FALSE(table.index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());

    // A new list replaces every row; of two rows with one path, the first is
    // the one a selection of that path shows.
    table.setHits({test::fileHit("/a/one", 1), test::fileHit("/a/two", 2), test::fileHit("/a/one", 3)});
    EXPECT_EQ(table.rowCount(), 3);
    EXPECT_EQ(table.index(1, 0).data().toString(), QStringLiteral("two"));
    EXPECT_EQ(table.rowOfPath("/a/one"), 0);
    EXPECT_EQ(table.rowOfPath("/home/u/photos"), -1);
    EXPECT_FALSE(table.hitAt(3));
    EXPECT_FALSE(table.hitAt(-1));
}

// The window's texts whatever the session's locale (the C one here): kinds
// from the MIME database, sizes and dates in Chinese like every other text.
TEST(ResultsTableModel, ChineseUnderAnyLocale) {
    test::app();
    test::TempDir dir;
    const QString notes = test::put(dir, QStringLiteral("notes.txt"), "abc");
    const QString otherNotes = test::put(dir, QStringLiteral("big.txt"), QByteArray(5000, 'x'));
    const QString folder = test::mkdirs(dir, QStringLiteral("相册"));
    ResultsTableModel table;  // formatted as the window formats it
    table.setHits(
        {hitForPath(notes.toStdString()), hitForPath(otherNotes.toStdString()), hitForPath(folder.toStdString())});
    const std::pair<QString, QString> rows[] = {{"纯文本文档", "3 字节"}, {"纯文本文档", "5 KB"}, {"文件夹", "—"}};
    for (int r = 0; r < 3; ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(table.index(r, ResultsTableModel::kindColumn).data().toString(), rows[r].first);
        EXPECT_EQ(table.index(r, ResultsTableModel::sizeColumn).data().toString(), rows[r].second);
    }
    const QString date = table.index(0, ResultsTableModel::modifiedColumn).data().toString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}年\\d{1,2}月\\d{1,2}日$")).match(date).hasMatch())
        << date.toStdString();
}

}  // namespace
}  // namespace qf
