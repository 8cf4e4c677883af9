#include "actions/file_actions.h"
#include "model/desktop_services.h"

namespace qf {

namespace {

// The alert's detail: the desktop's reason, or a stock text when it gave
// none (a failure of our own kind without context; a system error always
// has its description).
std::string detailOf(const Error& error) {
    if (error.context().empty() && error.code().category() == quillfindCategory()) return "AppleScript 执行失败";
    return error.message();
}

}  // namespace

void FileActions::open(const Hit& hit) { desktop().openItem(hit.path()); }

void FileActions::openParent(const Hit& hit) { desktop().openItem(containingFolder(hit.path())); }

void FileActions::reveal(const Hit& hit) { desktop().revealItem(hit.path()); }

void FileActions::showInfo(const Hit& hit) {
    const auto shown = desktop().showItemProperties(hit.path());
    if (!shown) failure("无法显示简介", detailOf(shown.error()));
}

void FileActions::openTerminal(const Hit& hit) {
    // The folder that holds the item, for a folder hit as well.
    const auto opened = desktop().openTerminal(containingFolder(hit.path()));
    if (!opened) failure("无法打开终端", detailOf(opened.error()));
}

}  // namespace qf
