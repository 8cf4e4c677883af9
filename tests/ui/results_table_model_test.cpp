// The rows behind the results table: texts per column, formatted once.
#include <gtest/gtest.h>

#include "ui/results_table_model.h"
#include "ui_test_support.h"

namespace qf {
namespace {

class ResultsTableModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::app();
        table.setFormatting(QLocale(QStringLiteral("en_US")), "en_US", "UTC");
    }
    ResultsTableModel table;
};

TEST_F(ResultsTableModelTest, RowTextsFollowTheHits) {
    constexpr Date kJan2 = 1704189600.0;   // 2024-01-02 10:00 UTC
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
    ASSERT_EQ(table.columnCount(), 5);
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 5; ++c) EXPECT_EQ(table.index(r, c).data().toString(), expected[r][c]) << r << "," << c;
    EXPECT_EQ(table.index(1, 3).data(ResultsTableModel::pathRole).toString(), QStringLiteral("/home/u/photos"));
    EXPECT_TRUE(table.index(1, 0).data(ResultsTableModel::isDirRole).toBool());
    EXPECT_FALSE(table.index(0, 0).data(ResultsTableModel::isDirRole).toBool());
    EXPECT_FALSE(table.index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_EQ(table.index(0, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("/home/u/report.pdf"));
    EXPECT_EQ(table.rowOfPath("/数据/报告 2024.docx"), 2);
}

TEST_F(ResultsTableModelTest, FindsRowsByPathAndReplacesWholeLists) {
    table.setHits({test::fileHit("/a/one", 1), test::fileHit("/a/two", 2), test::fileHit("/a/one", 3)});
    // The first row with a path is the one a selection of that path shows.
    EXPECT_EQ(table.rowOfPath("/a/one"), 0);
    EXPECT_EQ(table.hitAt(3), nullptr);
    EXPECT_EQ(table.hitAt(-1), nullptr);
    table.setHits({test::fileHit("/b/three", 1)});
    EXPECT_EQ(table.rowCount(), 1);
    EXPECT_EQ(table.rowOfPath("/a/two"), -1);
}

}  // namespace
}  // namespace qf
