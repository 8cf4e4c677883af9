#pragma once
// The fifteen things the row menu can do with one result. Every dialog and
// every hand-over to the desktop goes through the Model's DesktopServices;
// actions that change the file system run the query again on success.
#include <string>

#include "core/hit.h"

namespace qf {

class DesktopServices;
class Model;

class FileActions {
public:
    explicit FileActions(Model& model);

    // Hand-over to the desktop; nothing here refreshes.
    void open(const Hit& hit);
    void openParent(const Hit& hit);
    void reveal(const Hit& hit);
    void showInfo(const Hit& hit);
    void openTerminal(const Hit& hit);

    // Clipboard.
    void copyFiles(const Hit& hit);
    void copyName(const Hit& hit);
    void copyPath(const Hit& hit);
    void copyParent(const Hit& hit);

    // File-system changes; each refreshes after success only.
    void cutMove(const Hit& hit);
    void duplicate(const Hit& hit);
    void rename(const Hit& hit);
    void trash(const Hit& hit);
    void compress(const Hit& hit);

    // Hashes on a worker thread; the result alert follows on the main thread
    // unless the Model is gone by then.
    void sha256(const Hit& hit);

private:
    DesktopServices& desktop() const;
    void failure(const std::string& title, const std::string& detail) const;

    Model& model_;
};

// The failure alert: title, detail and the single button "好".
void showFailure(DesktopServices& desktop, const std::string& title, const std::string& detail);

}  // namespace qf
