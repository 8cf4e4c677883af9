#pragma once
// The progress of the index service's first crawl, for the status line:
// while it crawls, results are incomplete and the user should know.
#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <optional>

#include "index/client/service_status.h"

namespace qf {

// The status line's source text while the service crawls.
QString crawlProgressText(long long entries);
// ... and once the crawl has ended with `folders` it could not read yet.
QString incompleteIndexText(long long folders);
// The status line's source text while the settings file cannot be used:
// `held`, nothing is indexed until it can; else the earlier settings stay.
QString settingsFailureText(const QString& reason, bool held);

// Asks the service for its status off the main thread, every `interval`
// while it crawls, lacks folders it could not read yet, cannot use its
// settings file or cannot be reached yet (it may still be starting), and
// stops once it is idle and complete with settings it can use, or after
// `patience` without an answer.
class IndexProgress : public QObject {
    Q_OBJECT
public:
    explicit IndexProgress(std::chrono::milliseconds interval = std::chrono::seconds(1),
                           std::chrono::milliseconds patience = std::chrono::seconds(30), QObject* parent = nullptr);
    ~IndexProgress() override;

    void start();
    bool polling() const;

signals:
    // Every answer; `crawling` false once the first crawl is done,
    // `unlistedFolders` those waiting for another try.
    void statusChanged(bool crawling, long long entries, long long unlistedFolders);
    // Every answer: why the settings file cannot be used (empty while it
    // can), and whether nothing is indexed until it can.
    void settingsChanged(const QString& failure, bool held);

private:
    void poll();
    void onAnswer();

    std::chrono::milliseconds interval_;
    int unansweredLeft_;
    bool asking_ = false;  // from poll() until onAnswer()
    QTimer timer_;
    // Nothing when the service could not be asked.
    QFutureWatcher<std::optional<index::ServiceStatus>> watcher_;
};

}  // namespace qf
