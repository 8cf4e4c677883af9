// The key rule for Up and Down, moveSelection and submit.
#include <gtest/gtest.h>

#include "model_test_support.h"

namespace qf::test {
namespace {

const std::vector<std::string> kRows{"/t/row1", "/t/row2", "/t/row3", "/t/row4", "/t/row5"};

class Selection : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        index->answer(FakeIndex::nameCall("rows"), kRows);
        model = makeModel();
    }
    void loadRows() {
        ASSERT_TRUE(runAndWait(*model, "rows"));
        ASSERT_EQ(model->hits().size(), kRows.size());
    }
    std::unique_ptr<Model> model;
};

struct KeyCase {
    std::optional<std::string> selected;  // before the key
    int delta;
    bool consumed;
    std::optional<std::string> after;
    friend void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.selected.value_or("none") << " " << c.delta; }
};

class ArrowKeys : public Selection, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(ArrowKeys, FollowTheKeyRule) {
    const KeyCase& c = GetParam();
    loadRows();
    model->setSelectedPath(c.selected);
    EXPECT_EQ(model->arrowKey(c.delta), c.consumed);
    EXPECT_EQ(model->selectedPath(), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ArrowKeys,
    ::testing::Values(KeyCase{"/t/row1", -1, true, "/t/row1"},  // no wrap at the top
                      KeyCase{"/t/row5", +1, true, "/t/row5"},  // nor at the bottom
                      KeyCase{"/t/row2", +1, true, "/t/row3"},
                      KeyCase{"/t/row3", -1, true, "/t/row2"},
                      KeyCase{"/t/gone", -1, true, "/t/row5"},  // lost selection: Up takes the last row
                      KeyCase{"/t/gone", +1, true, "/t/row1"},  // and Down the first
                      KeyCase{std::nullopt, -1, false, std::nullopt},
                      KeyCase{std::nullopt, +1, false, std::nullopt}));

TEST_F(Selection, ArrowsWithASelectionButNoRowsAreConsumedAndChangeNothing) {
    model->setSelectedPath("/t/row2");
    EXPECT_TRUE(model->arrowKey(+1));
    EXPECT_TRUE(model->arrowKey(-1));
    EXPECT_EQ(model->selectedPath(), "/t/row2");
}

TEST_F(Selection, SelectionSurvivesSortingAsAPath) {
    loadRows();
    model->setSelectedPath("/t/row2");
    model->setSort(SortKey::name);  // same column again: descending
    EXPECT_EQ(model->hits().front().path(), "/t/row5");
    ASSERT_TRUE(model->selectedHit());
    EXPECT_EQ(model->selectedHit()->path(), "/t/row2");
    model->arrowKey(+1);
    EXPECT_EQ(model->selectedPath(), "/t/row1");
}

struct MoveCase {
    std::optional<std::string> selected;
    std::int64_t delta;
    std::string after;
    friend void PrintTo(const MoveCase& c, std::ostream* os) { *os << c.selected.value_or("none") << " " << c.delta; }
};

class MoveSelection : public Selection, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(MoveSelection, ClampsWithoutWrapping) {
    const MoveCase& c = GetParam();
    loadRows();
    model->setSelectedPath(c.selected);
    model->moveSelection(c.delta);
    EXPECT_EQ(model->selectedPath(), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Deltas, MoveSelection,
    ::testing::Values(MoveCase{"/t/row1", 3, "/t/row4"}, MoveCase{"/t/row4", 10, "/t/row5"},
                      MoveCase{"/t/row4", -10, "/t/row1"}, MoveCase{"/t/row3", 0, "/t/row3"},
                      MoveCase{"/t/row3", INT64_MAX, "/t/row5"}, MoveCase{"/t/row3", INT64_MIN, "/t/row1"},
                      MoveCase{std::nullopt, 0, "/t/row5"}, MoveCase{std::nullopt, 1, "/t/row1"}));

TEST_F(Selection, ReturnSelectsTheTopRowThenOpensIt) {
    loadRows();
    model->submit();
    EXPECT_EQ(model->selectedPath(), "/t/row1");
    EXPECT_TRUE(desktop.opened.empty());
    model->arrowKey(+1);
    model->submit();
    EXPECT_EQ(desktop.opened, std::vector<std::string>{"/t/row2"});
    EXPECT_EQ(model->selectedPath(), "/t/row2");
}

TEST_F(Selection, ReturnWithoutRowsChangesAndOpensNothing) {
    int assignments = 0;
    QObject::connect(model.get(), &Model::changed, [&] { ++assignments; });
    model->submit();
    EXPECT_EQ(model->selectedPath(), std::nullopt);
    EXPECT_EQ(assignments, 0);
    EXPECT_TRUE(desktop.opened.empty());
}

TEST_F(Selection, ReturnOnASelectionThatIsNoLongerShownOpensNothing) {
    loadRows();
    model->setSelectedPath("/t/gone");
    model->submit();
    EXPECT_TRUE(desktop.opened.empty());
    EXPECT_EQ(model->selectedPath(), "/t/gone");
    EXPECT_FALSE(model->selectedHit());
}

TEST_F(Selection, ARunClearsTheSelection) {
    loadRows();
    model->setSelectedPath("/t/row3");
    model->run();
    EXPECT_EQ(model->selectedPath(), std::nullopt);
    EXPECT_FALSE(model->selectedHit());
}

}  // namespace
}  // namespace qf::test
