// What a run and the sort columns publish, and the key rule for Up, Down
// and Return.
#include <gtest/gtest.h>
#include <QSignalSpy>

#include "model_test_support.h"

namespace qf::test {
namespace {

using PublishedState = ModelTest;

TEST_F(PublishedState, ARunClearsTheRowsAndItsPublicationSortsThemByTheColumnInForce) {
    index.answer(byName("report"), {"/t/b-report", "/t/a-report"});
    auto model = makeModel();
    model->setSort(SortKey::name);  // name, descending
    model->setSelectedPath("/t/a-report");
    model->setText("report");
    model->run();
    EXPECT_TRUE(model->hits().empty() && model->gathering() && !model->selectedPath());
    ASSERT_TRUE(waitUntil([&] { return !model->gathering(); }));
    EXPECT_EQ(pathsOf(model->hits()), (Lines{"/t/b-report", "/t/a-report"}));

    // The same column reverses the order; another one takes its own
    // direction. Both files are missing: equal sizes and dates keep their
    // order.
    const Lines ascending{"/t/a-report", "/t/b-report"};
    const std::tuple<SortKey, bool> steps[] = {
        {SortKey::name, true},  {SortKey::size, false},    {SortKey::size, true},
        {SortKey::date, false}, {SortKey::created, false}, {SortKey::name, true},
    };
    for (const auto& [key, asc] : steps) {
        SCOPED_TRACE(static_cast<int>(key));
        model->setSort(key);
        EXPECT_EQ(std::pair(model->sortKey(), model->sortAsc()), std::pair(key, asc));
        EXPECT_EQ(pathsOf(model->hits()), ascending);
    }
    // Up on the first row assigns it again, so that a view can show it.
    QSignalSpy assigned(model.get(), &Model::selectedPathAssigned);
    model->setSelectedPath("/t/a-report");
    model->arrowKey(-1);
    EXPECT_EQ(assigned.count(), 2);
}

TEST_F(PublishedState, KeysClampWithoutWrappingAndReturnSelectsThenOpens) {
    const Lines rows{"/t/row1", "/t/row2", "/t/row3", "/t/row4", "/t/row5"};
    index.answer(byName("rows"), rows);
    auto model = makeModel();
    // Without rows, arrows with a selection are consumed and change nothing,
    // and Return neither selects nor opens.
    model->setSelectedPath("/t/row2");
    EXPECT_TRUE(model->arrowKey(-1));
    EXPECT_EQ(model->selectedPath(), "/t/row2");
    model->setSelectedPath(std::nullopt);
    model->submit();
    EXPECT_EQ(model->selectedPath(), std::nullopt);

    ASSERT_TRUE(runAndWait(*model, "rows"));
    enum Key { arrow, move, submit };
    const struct {
        std::optional<std::string> selected;
        Key key;
        std::int64_t delta;
        bool consumed;  // arrow only
        std::optional<std::string> after;
        Lines opened = {};
    } cases[] = {
        {"/t/row1", arrow, -1, true, "/t/row1"},
        {"/t/row5", arrow, +1, true, "/t/row5"},
        {"/t/row2", arrow, +1, true, "/t/row3"},
        {"/t/row3", arrow, -1, true, "/t/row2"},
        // A lost selection: Up takes the last row, Down the first.
        {"/t/gone", arrow, -1, true, "/t/row5"},
        {"/t/gone", arrow, +1, true, "/t/row1"},
        {std::nullopt, arrow, -1, false, std::nullopt},
        {"/t/row1", move, 3, false, "/t/row4"},
        {"/t/row3", move, INT64_MAX, false, "/t/row5"},
        {"/t/row3", move, INT64_MIN, false, "/t/row1"},
        {std::nullopt, move, 0, false, "/t/row5"},
        // Return selects the top row, then opens the selection if it is shown.
        {std::nullopt, submit, 0, false, "/t/row1"},
        {"/t/row2", submit, 0, false, "/t/row2", {"/t/row2"}},
        {"/t/gone", submit, 0, false, "/t/gone"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.selected.value_or("none") + " key " + std::to_string(c.key) + " " + std::to_string(c.delta));
        desktop.calls.clear();
        model->setSelectedPath(c.selected);
        if (c.key == arrow)
            EXPECT_EQ(model->arrowKey(static_cast<int>(c.delta)), c.consumed);
        else if (c.key == move)
            model->moveSelection(c.delta);
        else
            model->submit();
        EXPECT_EQ(model->selectedPath(), c.after);
        EXPECT_EQ(desktop.opened(), c.opened);
    }
}

}  // namespace
}  // namespace qf::test
