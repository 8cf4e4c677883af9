#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

#include "actions/file_actions.h"
#include "actions/sha256_file.h"
#include "model/desktop_services.h"
#include "model/model.h"

namespace qf {

namespace {

void showDigest(Model& model, const std::string& path, const Expected<FileDigest>& digest) {
    DesktopServices& desktop = model.desktop();
    // Every failure, a read error part-way included, reads as a file that
    // cannot be read.
    if (!digest) {
        showFailure(desktop, "计算失败", "无法读取文件：\n" + path);
        return;
    }
    if (desktop.runAlert({"SHA256", digest->hex, {"复制", "关闭"}, AlertStyle::plain}) == kFirstButton) {
        desktop.setClipboardText(digest->hex);
    }
}

}  // namespace

void FileActions::sha256(const Hit& hit) {
    QPointer<Model> weak(&model_);
    // Captured by value below: the hit may be gone when the worker runs.
    const std::string& path = hit.path();
    QThreadPool::globalInstance()->start([weak, path] {
        Expected<FileDigest> digest = sha256File(path);
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) return;  // the program is shutting down
        QMetaObject::invokeMethod(
            app,
            [weak, path, digest] {
                if (weak) showDigest(*weak, path, digest);
            },
            Qt::QueuedConnection);
    });
}

}  // namespace qf
