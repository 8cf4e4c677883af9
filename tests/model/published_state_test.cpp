// What the Model publishes: each property's own notification on every
// assignment, equal values included, with the new value readable in the slot;
// and the column rule of setSort.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <set>
#include <utility>

#include "model_test_support.h"

namespace qf::test {
namespace {

using Seen = std::multiset<std::string>;

// Every notification as "property=value", the value read in the slot; the
// order of the notifications is left out.
class Notifications {
public:
    explicit Notifications(Model& m) {
        watch(m, &Model::textAssigned, "text", [&m] { return m.text(); });
        watch(m, &Model::hitsAssigned, "hits", [&m] {
            std::string names;
            for (const Hit& hit : m.hits()) names += (names.empty() ? "" : ",") + hit.name();
            return names;
        });
        watch(m, &Model::totalAssigned, "total", [&m] { return std::to_string(m.total()); });
        watch(m, &Model::gatheringAssigned, "gathering", [&m] { return flag(m.gathering()); });
        watch(m, &Model::caseSensitiveAssigned, "caseSensitive", [&m] { return flag(m.caseSensitive()); });
        watch(m, &Model::regexModeAssigned, "regexMode", [&m] { return flag(m.regexMode()); });
        watch(m, &Model::sortKeyAssigned, "sortKey", [&m] {
            return std::string(std::array{"name", "size", "date", "created"}.at(static_cast<int>(m.sortKey())));
        });
        watch(m, &Model::sortAscAssigned, "sortAsc", [&m] { return flag(m.sortAsc()); });
        watch(m, &Model::selectedPathAssigned, "selectedPath", [&m] { return m.selectedPath().value_or("none"); });
    }

    Seen take() { return std::exchange(seen_, {}); }

private:
    static std::string flag(bool on) { return on ? "true" : "false"; }
    template <class Signal, class Read>
    void watch(Model& m, Signal signal, const char* name, Read read) {
        QObject::connect(&m, signal, &context_, [this, name, read] { seen_.insert(std::string(name) + "=" + read()); });
    }

    QObject context_;  // the connections end with this recorder
    Seen seen_;
};

using PublishedState = ModelTest;

TEST_F(PublishedState, EveryAssignmentNotifiesItsOwnPropertyWithTheNewValue) {
    index.answer(nameCall("report"), {"/t/b-report", "/t/a-report"});
    auto model = makeModel();
    Notifications seen(*model);
    model->setSort(SortKey::name);  // name, descending
    seen.take();

    model->setText("report");
    model->run();
    EXPECT_EQ(seen.take(), (Seen{"text=report", "hits=", "total=0", "selectedPath=none", "gathering=true"}));
    ASSERT_TRUE(waitForPublication(*model));
    // The rows in path order, then sorted by the order in force.
    EXPECT_EQ(seen.take(), (Seen{"total=2", "hits=a-report,b-report", "gathering=false", "hits=b-report,a-report"}));

    // Each step on the same Model, and what it notifies. An equal value
    // notifies as well; the switches start no run.
    const std::pair<std::function<void()>, Seen> steps[] = {
        {[&] { model->setText("report"); }, {"text=report"}},
        {[&] { model->setCaseSensitive(false); }, {"caseSensitive=false"}},
        {[&] { model->setCaseSensitive(true); }, {"caseSensitive=true"}},
        {[&] { model->setRegexMode(false); }, {"regexMode=false"}},
        {[&] { model->setRegexMode(true); }, {"regexMode=true"}},
        {[&] { model->setSelectedPath("/t/a-report"); }, {"selectedPath=/t/a-report"}},
        // Down on the last row assigns the same row again.
        {[&] { model->moveSelection(+1); }, {"selectedPath=/t/a-report"}},
        {[&] { model->submit(); }, {}},
        // The same column reverses the order; another one takes its own
        // direction. Both files are missing: equal sizes and dates keep
        // their order.
        {[&] { model->setSort(SortKey::name); }, {"sortAsc=true", "hits=a-report,b-report"}},
        {[&] { model->setSort(SortKey::size); }, {"sortKey=size", "sortAsc=false", "hits=a-report,b-report"}},
        {[&] { model->setSort(SortKey::size); }, {"sortAsc=true", "hits=a-report,b-report"}},
        {[&] { model->setSort(SortKey::date); }, {"sortKey=date", "sortAsc=false", "hits=a-report,b-report"}},
        {[&] { model->setSort(SortKey::created); }, {"sortKey=created", "sortAsc=false", "hits=a-report,b-report"}},
        {[&] { model->setSort(SortKey::name); }, {"sortKey=name", "sortAsc=true", "hits=a-report,b-report"}},
        {[&] { model->applySort(); }, {"hits=a-report,b-report"}},
    };
    int step = 0;
    for (const auto& [act, expected] : steps) {
        SCOPED_TRACE(step++);
        act();
        EXPECT_EQ(seen.take(), expected);
    }
    EXPECT_EQ(model->serial(), 1);
    EXPECT_EQ(desktop.opened(), Strings{"/t/a-report"});
}

}  // namespace
}  // namespace qf::test
