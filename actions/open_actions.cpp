#include "actions/file_actions.h"
#include "model/desktop_services.h"

namespace qf {

namespace {
// The detail when the desktop gave no reason of its own.
constexpr const char* kNoReason = "AppleScript 执行失败";
}  // namespace

void FileActions::open(const Hit& hit) { desktop().openItem(hit.path()); }

void FileActions::openParent(const Hit& hit) { desktop().openItem(containingFolder(hit.path())); }

void FileActions::reveal(const Hit& hit) { desktop().revealItem(hit.path()); }

void FileActions::showInfo(const Hit& hit) {
    const auto result = desktop().showItemProperties(hit.path());
    if (!result.ok) failure("无法显示简介", result.error.empty() ? kNoReason : result.error);
}

void FileActions::openTerminal(const Hit& hit) {
    // The folder that holds the item, for a folder hit as well.
    const auto result = desktop().openTerminal(containingFolder(hit.path()));
    if (!result.ok) failure("无法打开终端", result.error.empty() ? kNoReason : result.error);
}

}  // namespace qf
