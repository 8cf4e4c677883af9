#include "actions/menu_items.h"

#include <array>

namespace qf {

namespace {

constexpr MenuItem kDivider{{}, nullptr};

constexpr std::array kRowMenu{
    MenuItem{"打开", &FileActions::open},
    MenuItem{"打开所在文件夹", &FileActions::openParent},
    MenuItem{"在 Finder 中显示", &FileActions::reveal},
    MenuItem{"在终端中打开", &FileActions::openTerminal},
    MenuItem{"显示简介", &FileActions::showInfo},
    kDivider,
    MenuItem{"复制", &FileActions::copyFiles},
    MenuItem{"剪切（移动到…）", &FileActions::cutMove},
    MenuItem{"拷贝副本", &FileActions::duplicate},
    MenuItem{"重命名…", &FileActions::rename},
    MenuItem{"移到废纸篓…", &FileActions::trash},
    kDivider,
    MenuItem{"复制绝对路径", &FileActions::copyPath},
    MenuItem{"复制文件名", &FileActions::copyName},
    MenuItem{"复制所在文件夹路径", &FileActions::copyParent},
    kDivider,
    MenuItem{"压缩为 ZIP", &FileActions::compress},
    MenuItem{"计算 SHA256", &FileActions::sha256},
};

}  // namespace

std::span<const MenuItem> rowMenuItems() { return kRowMenu; }

}  // namespace qf
