#pragma once
// The private state behind Model; shared by the Model's source files only.
#include <QTimer>
#include <memory>

#include "model/model.h"
#include "model/run_shared.h"

namespace qf {

struct Model::State {
    explicit State(DesktopServices& services) : desktop(services) {}

    DesktopServices& desktop;
    std::string text;
    std::vector<Hit> hits;
    std::int64_t total = 0;
    bool gathering = false;
    bool regexMode = false;
    SortKey sortKey = SortKey::name;
    bool sortAsc = true;
    std::optional<std::string> selectedPath;

    // serial and caseSensitive live here, where the workers can read them.
    std::shared_ptr<RunShared> shared = std::make_shared<RunShared>();
    // The pending debounced run; a child of the Model, so it dies with it.
    QTimer* debounce = nullptr;
};

}  // namespace qf
