#include "actions/file_actions.h"
#include "actions/file_ops.h"
#include "actions/item_names.h"
#include "base/path_names.h"
#include "core/text.h"
#include "model/desktop_services.h"
#include "model/model.h"

namespace qf {

void FileActions::cutMove(const Hit& hit) {
    const auto chosen = desktop().chooseFolder({"移动到此处", "选择目标文件夹（效果同剪切到此）"});
    if (!chosen || chosen->empty()) return;
    // A chooser may hand back "/x/y/".
    const std::string destination = joinPath(withoutTrailingSlashes(*chosen), hit.name());
    if (itemExists(destination)) {
        failure("无法移动", "目标文件夹里已有同名项目：\n" + hit.name());
        return;
    }
    if (auto moved = moveItem(hit.path(), destination); !moved) {
        failure("移动失败", moved.error().message());
        return;
    }
    model_.refresh();
}

void FileActions::duplicate(const Hit& hit) {
    const std::string copy = freeCopyPath(containingFolder(hit.path()), hit.name());
    if (auto copied = copyItem(hit.path(), copy); !copied) {
        failure("拷贝副本失败", copied.error().message());
        return;
    }
    model_.refresh();
}

void FileActions::rename(const Hit& hit) {
    const auto answer = desktop().runTextPrompt({"重命名", hit.path(), hit.name(), {"确定", "取消"}});
    if (answer.response != kFirstButton) return;
    const std::string newName = trimWhitespaceAndNewlines(answer.text);
    if (newName.empty() || nfc(newName) == nfc(hit.name())) return;
    if (auto usable = checkItemName(newName); !usable) {
        failure("重命名失败", usable.error().message());
        return;
    }
    const std::string destination = joinPath(containingFolder(hit.path()), newName);
    if (itemExists(destination)) {
        failure("重命名失败", "同目录下已存在同名项目：\n" + newName);
        return;
    }
    if (auto renamed = renameNoReplace(hit.path(), destination); !renamed) {
        failure("重命名失败", renamed.error().message());
        return;
    }
    model_.refresh();
}

}  // namespace qf
