#pragma once
// The state of the search window and every operation on it. QtCore only, so
// it can be driven headless by tests. All members run on the main thread
// except where noted.
#include <QObject>
#include <QPointer>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/hit.h"
#include "model/sort_key.h"

namespace qf {

class DesktopServices;

class Model : public QObject {
    Q_OBJECT
public:
    // Which published property was just assigned.
    enum class Property { text, hits, total, gathering, caseSensitive, regexMode, sortKey, sortAsc, selectedPath };
    Q_ENUM(Property)

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
    // Emitted on every assignment of a published property, equal values included.
    void changed(qf::Model::Property property);

private:
    struct State;
    std::unique_ptr<State> d_;
};

}  // namespace qf
