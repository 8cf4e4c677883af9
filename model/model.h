#pragma once
// The state of the search window and every operation on it. QtCore only, so
// it can be driven headless by tests. All members run on the main thread
// except where noted.
#include <QObject>
#include <QPointer>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/hit.h"
#include "model/sort_key.h"

namespace qf {

class DesktopServices;
struct SearchPlan;

class Model : public QObject {
    Q_OBJECT
public:
    // The largest number of hits one run publishes.
    static constexpr std::size_t cap = 1000;

    explicit Model(DesktopServices& desktop, QObject* parent = nullptr);
    ~Model() override;

    // The start-up sequence (initial query, stress, simulate, recent files).
    // The owner calls it once, right after construction.
    void start();

    // Published state.
    const std::string& text() const;
    const std::vector<Hit>& hits() const;
    std::int64_t total() const;
    bool gathering() const;
    bool caseSensitive() const;
    bool regexMode() const;
    SortKey sortKey() const;
    bool sortAsc() const;
    const std::optional<std::string>& selectedPath() const;
    std::optional<Hit> selectedHit() const;

    // The number of runs started so far; the serial of the newest run.
    std::int64_t serial() const;

    void setText(std::string text);
    void setCaseSensitive(bool on);
    void setRegexMode(bool on);
    void setSelectedPath(std::optional<std::string> path);

    // Keyboard selection: delta is -1 (Up) or +1 (Down). arrowKey applies the
    // window-wide key rule and returns whether the key press is consumed.
    bool arrowKey(int delta);
    void moveSelection(std::int64_t delta);
    void submit();

    // Search runs.
    void textChanged();
    void run();
    void refresh();

    // Sorting.
    void setSort(SortKey key);
    void applySort();

    void stressTest(std::vector<std::string> queries);

    DesktopServices& desktop() const;

signals:
    // One per published property, emitted on every assignment of it, equal
    // values included: a view may act on the assignment itself (the table
    // scrolls the selected row back into sight when Up on the first row
    // selects it again). Each fires right after the value is stored, so a
    // slot reads the new state. The names say "assigned", not "changed",
    // for that reason; textChanged() is the search field's edit operation.
    void textAssigned();
    void hitsAssigned();
    void totalAssigned();
    void gatheringAssigned();
    void caseSensitiveAssigned();
    void regexModeAssigned();
    void sortKeyAssigned();
    void sortAscAssigned();
    void selectedPathAssigned();

private:
    void assignHits(std::vector<Hit> hits);
    void assignTotal(std::int64_t total);
    void assignGathering(bool on);
    void assignSortKey(SortKey key);
    void assignSortAsc(bool ascending);

    void startNameQuery(SearchPlan plan);
    void startRecentFiles(std::int64_t serial);
    void publishNameQuery(std::int64_t serial, std::int64_t candidates, std::vector<Hit> hits);
    void publishRecentFiles(std::int64_t serial, std::int64_t paths, std::vector<Hit> hits);

    struct State;
    std::unique_ptr<State> d_;
};

}  // namespace qf
