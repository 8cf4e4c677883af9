#pragma once
// A live preview of one result: images and PDF first pages, the first part
// of text files, the first entries of folders, and a neutral card with icon,
// name, kind and size for anything else. Loading runs on a worker thread;
// the pane is made for one path and never switches to another.
#include <QFutureWatcher>
#include <QWidget>
#include <atomic>
#include <memory>

#include "core/hit.h"
#include "ui/preview_loader.h"

namespace qf {

class PreviewPane : public QWidget {
    Q_OBJECT
public:
    explicit PreviewPane(const Hit& hit, QWidget* parent = nullptr);
    ~PreviewPane() override;

    const std::string& path() const { return hit_.path(); }
    bool isLoaded() const { return loaded_; }
    // What is shown once loaded; placeholder before.
    PreviewContent::Kind kind() const { return kind_; }
    QWidget* contentWidget() const { return content_; }

signals:
    void loaded();

private:
    void showContent(const PreviewContent& content);
    QWidget* makeImageView(const QImage& image);
    QWidget* makeTextView(const PreviewContent& content);
    QWidget* makeFolderView(const PreviewContent& content);
    QWidget* makePlaceholder();
    void setContent(QWidget* widget);

    Hit hit_;
    std::shared_ptr<std::atomic<bool>> cancelled_;
    QFutureWatcher<PreviewContent> watcher_;
    QWidget* content_ = nullptr;
    PreviewContent::Kind kind_ = PreviewContent::Kind::placeholder;
    bool loaded_ = false;
};

}  // namespace qf
