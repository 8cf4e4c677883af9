#include "actions/file_actions.h"
#include "model/desktop_services.h"

namespace qf {

void FileActions::copyFiles(const Hit& hit) { desktop().setClipboardFile(hit.path()); }

void FileActions::copyName(const Hit& hit) { desktop().setClipboardText(hit.name()); }

void FileActions::copyPath(const Hit& hit) { desktop().setClipboardText(hit.path()); }

void FileActions::copyParent(const Hit& hit) { desktop().setClipboardText(containingFolder(hit.path())); }

}  // namespace qf
