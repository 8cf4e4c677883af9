// The key rule for Up and Down, moveSelection and submit.
#include <gtest/gtest.h>

#include "model_test_support.h"

namespace qf::test {
namespace {

const Strings kRows{"/t/row1", "/t/row2", "/t/row3", "/t/row4", "/t/row5"};

class Selection : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        index.answer(FakeIndex::nameCall("rows"), kRows);
        model = makeModel();
    }
    void loadRows() {
        ASSERT_TRUE(runAndWait(*model, "rows"));
        ASSERT_EQ(pathsOf(model->hits()), kRows);
    }
    std::unique_ptr<Model> model;
};

TEST_F(Selection, ArrowKeysAndMovesClampWithoutWrapping) {
    // Without rows, arrows with a selection are consumed and change nothing.
    model->setSelectedPath("/t/row2");
    EXPECT_TRUE(model->arrowKey(+1));
    EXPECT_TRUE(model->arrowKey(-1));
    EXPECT_EQ(model->selectedPath(), "/t/row2");

    loadRows();
    const struct {
        std::optional<std::string> selected;
        bool arrow;  // arrowKey, else moveSelection
        std::int64_t delta;
        bool consumed;  // arrowKey only
        std::optional<std::string> after;
    } cases[] = {
        {"/t/row1", true, -1, true, "/t/row1"},
        {"/t/row5", true, +1, true, "/t/row5"},
        {"/t/row2", true, +1, true, "/t/row3"},
        {"/t/row3", true, -1, true, "/t/row2"},
        // A lost selection: Up takes the last row, Down the first.
        {"/t/gone", true, -1, true, "/t/row5"},
        {"/t/gone", true, +1, true, "/t/row1"},
        {std::nullopt, true, -1, false, std::nullopt},
        {std::nullopt, true, +1, false, std::nullopt},
        {"/t/row1", false, 3, false, "/t/row4"},
        {"/t/row4", false, 10, false, "/t/row5"},
        {"/t/row4", false, -10, false, "/t/row1"},
        {"/t/row3", false, 0, false, "/t/row3"},
        {"/t/row3", false, INT64_MAX, false, "/t/row5"},
        {"/t/row3", false, INT64_MIN, false, "/t/row1"},
        {std::nullopt, false, 0, false, "/t/row5"},
        {std::nullopt, false, 1, false, "/t/row1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.selected.value_or("none") + (c.arrow ? " arrow " : " move ") + std::to_string(c.delta));
        model->setSelectedPath(c.selected);
        if (c.arrow)
            EXPECT_EQ(model->arrowKey(static_cast<int>(c.delta)), c.consumed);
        else
            model->moveSelection(c.delta);
        EXPECT_EQ(model->selectedPath(), c.after);
    }
}

TEST_F(Selection, SelectionSurvivesSortingAsAPathAndARunClearsIt) {
    loadRows();
    model->setSelectedPath("/t/row2");
    model->setSort(SortKey::name);  // same column again: descending
    EXPECT_EQ(model->hits().front().path(), "/t/row5");
    ASSERT_TRUE(model->selectedHit());
    EXPECT_EQ(model->selectedHit()->path(), "/t/row2");
    model->arrowKey(+1);
    EXPECT_EQ(model->selectedPath(), "/t/row1");

    model->run();
    EXPECT_EQ(model->selectedPath(), std::nullopt);
    EXPECT_FALSE(model->selectedHit());
}

TEST_F(Selection, ReturnSelectsTheTopRowThenOpensIt) {
    // Without rows: nothing is assigned or opened.
    int assignments = 0;
    auto counter = QObject::connect(model.get(), &Model::changed, [&] { ++assignments; });
    model->submit();
    EXPECT_EQ(assignments, 0);
    QObject::disconnect(counter);
    EXPECT_EQ(model->selectedPath(), std::nullopt);

    loadRows();
    model->submit();
    EXPECT_EQ(model->selectedPath(), "/t/row1");
    EXPECT_TRUE(desktop.opened().empty());
    model->arrowKey(+1);
    model->submit();
    EXPECT_EQ(desktop.opened(), Strings{"/t/row2"});
    EXPECT_EQ(model->selectedPath(), "/t/row2");

    // A selection that is no longer shown opens nothing.
    model->setSelectedPath("/t/gone");
    model->submit();
    EXPECT_EQ(desktop.opened(), Strings{"/t/row2"});
    EXPECT_EQ(model->selectedPath(), "/t/gone");
    EXPECT_FALSE(model->selectedHit());
}

}  // namespace
}  // namespace qf::test
