#include "actions/file_actions.h"
#include "actions/file_ops.h"
#include "actions/item_names.h"
#include "core/text.h"
#include "model/desktop_services.h"
#include "model/model.h"

namespace qf {

namespace {

// A chooser may hand back "/x/y/"; the destination is built by appending.
std::string withoutTrailingSlash(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

}  // namespace

void FileActions::cutMove(const Hit& hit) {
    const auto chosen = desktop().chooseFolder({"移动到此处", "选择目标文件夹（效果同剪切到此）"});
    if (!chosen || chosen->empty()) return;
    const std::string destination = joinPath(withoutTrailingSlash(*chosen), hit.name());
    if (itemExists(destination)) {
        failure("无法移动", "目标文件夹里已有同名项目：\n" + hit.name());
        return;
    }
    if (auto ec = moveItem(hit.path(), destination)) {
        failure("移动失败", ec.message());
        return;
    }
    model_.refresh();
}

void FileActions::duplicate(const Hit& hit) {
    const std::string copy = freeCopyPath(containingFolder(hit.path()), hit.name());
    if (auto ec = copyItem(hit.path(), copy)) {
        failure("拷贝副本失败", ec.message());
        return;
    }
    model_.refresh();
}

void FileActions::rename(const Hit& hit) {
    const auto answer = desktop().runTextPrompt({"重命名", hit.path(), hit.name(), {"确定", "取消"}});
    if (answer.response != kFirstButton) return;
    const std::string newName = trimWhitespaceAndNewlines(answer.text);
    if (newName.empty() || nfc(newName) == nfc(hit.name())) return;
    if (auto reason = unusableNameReason(newName)) {
        failure("重命名失败", *reason);
        return;
    }
    const std::string destination = joinPath(containingFolder(hit.path()), newName);
    if (itemExists(destination)) {
        failure("重命名失败", "同目录下已存在同名项目：\n" + newName);
        return;
    }
    if (auto ec = renameNoReplace(hit.path(), destination)) {
        failure("重命名失败", ec.message());
        return;
    }
    model_.refresh();
}

}  // namespace qf
