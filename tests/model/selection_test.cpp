// The key rule for Up and Down, moveSelection and submit.
#include <gtest/gtest.h>

#include "model_test_support.h"

namespace qf::test {
namespace {

using Selection = ModelTest;
const Strings kRows{"/t/row1", "/t/row2", "/t/row3", "/t/row4", "/t/row5"};

TEST_F(Selection, KeysClampWithoutWrappingAndReturnSelectsThenOpens) {
    index.answer(nameCall("rows"), kRows);
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
    ASSERT_EQ(pathsOf(model->hits()), kRows);
    enum Key { arrow, move, submit };
    const struct {
        std::optional<std::string> selected;
        Key key;
        std::int64_t delta;
        bool consumed;  // arrow only
        std::optional<std::string> after;
        Strings opened = {};
    } cases[] = {
        {"/t/row1", arrow, -1, true, "/t/row1"},
        {"/t/row5", arrow, +1, true, "/t/row5"},
        {"/t/row2", arrow, +1, true, "/t/row3"},
        {"/t/row3", arrow, -1, true, "/t/row2"},
        // A lost selection: Up takes the last row, Down the first.
        {"/t/gone", arrow, -1, true, "/t/row5"},
        {"/t/gone", arrow, +1, true, "/t/row1"},
        {std::nullopt, arrow, -1, false, std::nullopt},
        {std::nullopt, arrow, +1, false, std::nullopt},
        {"/t/row1", move, 3, false, "/t/row4"},
        {"/t/row3", move, 0, false, "/t/row3"},
        {"/t/row3", move, INT64_MAX, false, "/t/row5"},
        {"/t/row3", move, INT64_MIN, false, "/t/row1"},
        {std::nullopt, move, 0, false, "/t/row5"},
        {std::nullopt, move, 1, false, "/t/row1"},
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
    // A run clears the selection.
    model->run();
    EXPECT_EQ(model->selectedPath(), std::nullopt);
}

}  // namespace
}  // namespace qf::test
