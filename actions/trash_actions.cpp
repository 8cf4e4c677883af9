#include "actions/archiver.h"
#include "actions/file_actions.h"
#include "actions/item_names.h"
#include "model/desktop_services.h"
#include "model/model.h"

namespace qf {

void FileActions::trash(const Hit& hit) {
    const AlertRequest confirm{"移到废纸篓？",
                               "「" + hit.name() + "」将移到废纸篓，可在废纸篓中恢复。",
                               {"确定", "取消"},
                               AlertStyle::warning};
    if (desktop().runAlert(confirm) != kFirstButton) return;
    const auto trashed = desktop().moveToTrash(hit.path());
    if (!trashed) {
        failure("删除失败", trashed.error().message());
        return;
    }
    model_.refresh();
}

void FileActions::compress(const Hit& hit) {
    const std::string archive = freeArchivePath(containingFolder(hit.path()), hit.name());
    const auto status = desktop().runProgram(dittoExecutable(), dittoArguments(hit.path(), archive));
    if (!status) {
        failure("压缩失败", status.error().message());
        return;
    }
    if (*status != 0) {
        failure("压缩失败", "ditto 退出码 " + std::to_string(*status));
        return;
    }
    model_.refresh();
}

}  // namespace qf
