// The rows behind the results table: texts per column, formatted once.
#include <gtest/gtest.h>

#include "ui/results_table_model.h"
#include "ui_test_support.h"

namespace qf {
namespace {

constexpr Date kJan2 = 1704189600.0;   // 2024-01-02 10:00 UTC
constexpr Date kMar15 = 1710496800.0;  // 2024-03-15 10:00 UTC

class ResultsTableModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::app();
        table.setFormatting(QLocale(QStringLiteral("en_US")), "en_US", "UTC");
    }
    QString text(int row, int column) const { return table.index(row, column).data().toString(); }

    ResultsTableModel table;
};

TEST_F(ResultsTableModelTest, ColumnsCarryTitlesKeysWidthsAndAlignment) {
    struct Expect {
        const char* title;
        std::optional<SortKey> key;
        int width;
        Qt::Alignment alignment;
    };
    const Expect expected[] = {
        {"名称", SortKey::name, 0, Qt::AlignLeft},      {"类型", std::nullopt, 96, Qt::AlignLeft},
        {"大小", SortKey::size, 84, Qt::AlignRight},     {"创建日期", SortKey::created, 112, Qt::AlignRight},
        {"修改日期", SortKey::date, 112, Qt::AlignRight},
    };
    ASSERT_EQ(table.columnCount(), 5);
    for (int c = 0; c < 5; ++c) {
        const auto& info = ResultsTableModel::column(c);
        EXPECT_STREQ(info.title, expected[c].title);
        EXPECT_EQ(info.sortKey, expected[c].key) << c;
        EXPECT_EQ(info.width, expected[c].width) << c;
        EXPECT_TRUE(info.alignment & expected[c].alignment) << c;
        EXPECT_EQ(table.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString().toStdString(), expected[c].title);
    }
}

TEST_F(ResultsTableModelTest, RowTextsFollowTheHits) {
    table.setHits({
        test::fileHit("/home/u/report.pdf", 1500000, kMar15, kJan2, "PDF document"),
        test::folderHit("/home/u/photos"),
        test::fileHit("/home/u/empty.txt", 0),
    });
    ASSERT_EQ(table.rowCount(), 3);
    struct Expect {
        const char *name, *kind, *size, *created, *modified;
    };
    const Expect expected[] = {
        {"report.pdf", "PDF document", "1.5 MB", "Jan 2, 2024", "Mar 15, 2024"},
        {"photos", "Folder", "—", "—", "—"},
        {"empty.txt", "Plain text", "0 bytes", "—", "—"},
    };
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(text(r, ResultsTableModel::nameColumn).toStdString(), expected[r].name);
        EXPECT_EQ(text(r, ResultsTableModel::kindColumn).toStdString(), expected[r].kind);
        EXPECT_EQ(text(r, ResultsTableModel::sizeColumn).toStdString(), expected[r].size);
        EXPECT_EQ(text(r, ResultsTableModel::createdColumn).toStdString(), expected[r].created);
        EXPECT_EQ(text(r, ResultsTableModel::modifiedColumn).toStdString(), expected[r].modified);
    }
    EXPECT_EQ(table.index(1, 3).data(ResultsTableModel::PathRole).toString(), QStringLiteral("/home/u/photos"));
    EXPECT_TRUE(table.index(1, 0).data(ResultsTableModel::IsDirRole).toBool());
    EXPECT_FALSE(table.index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_EQ(table.index(0, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("/home/u/report.pdf"));
}

TEST_F(ResultsTableModelTest, FindsRowsByPathAndReplacesWholeLists) {
    table.setHits({test::fileHit("/a/one", 1), test::fileHit("/a/two", 2), test::fileHit("/a/one", 3)});
    EXPECT_EQ(table.rowOfPath("/a/two"), 1);
    // The first row with a path is the one a selection of that path shows.
    EXPECT_EQ(table.rowOfPath("/a/one"), 0);
    EXPECT_EQ(table.rowOfPath("/a/three"), -1);
    ASSERT_NE(table.hitAt(2), nullptr);
    EXPECT_EQ(table.hitAt(2)->size(), 3);
    EXPECT_EQ(table.hitAt(3), nullptr);
    EXPECT_EQ(table.hitAt(-1), nullptr);

    table.setHits({test::fileHit("/b/three", 1)});
    EXPECT_EQ(table.rowCount(), 1);
    EXPECT_EQ(table.rowOfPath("/a/two"), -1);
    EXPECT_EQ(table.rowOfPath("/b/three"), 0);
    table.setHits({});
    EXPECT_EQ(table.rowCount(), 0);
    EXPECT_FALSE(table.index(0, 0).data().isValid());
}

TEST_F(ResultsTableModelTest, NonAsciiNamesSurviveTheRoundTrip) {
    table.setHits({test::fileHit("/数据/报告 2024.docx", 10)});
    EXPECT_EQ(text(0, 0), QStringLiteral("报告 2024.docx"));
    EXPECT_EQ(table.rowOfPath("/数据/报告 2024.docx"), 0);
}

}  // namespace
}  // namespace qf
