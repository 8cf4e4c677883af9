#include "actions/file_actions.h"

#include "model/desktop_services.h"
#include "model/model.h"

namespace qf {

FileActions::FileActions(Model& model) : model_(model) {}

DesktopServices& FileActions::desktop() const { return model_.desktop(); }

void FileActions::failure(const std::string& title, const std::string& detail) const {
    showFailure(desktop(), title, detail);
}

void showFailure(DesktopServices& desktop, const std::string& title, const std::string& detail) {
    desktop.runAlert({title, detail, {"好"}, AlertStyle::plain});
}

}  // namespace qf
