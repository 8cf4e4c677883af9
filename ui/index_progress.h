#pragma once
// The progress of the index service's first crawl, for the status line:
// while it crawls, results are incomplete and the user should know.
#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace qf {

struct IndexStatus {
    bool crawling = false;
    long long entries = 0;
};

// Reads the "state:" and "entries:" lines of the service's status text;
// nothing when either is missing or malformed.
std::optional<IndexStatus> parseIndexStatus(std::string_view text);

// Asks the service listening on `socketPath` for its status; blocks for at
// most `timeout`. Nothing when it cannot be asked.
std::optional<IndexStatus> queryIndexStatus(const std::string& socketPath, std::chrono::milliseconds timeout);

// The status line's source text while the service crawls.
QString crawlProgressText(long long entries);

// Asks the service for its status off the main thread, every `interval`
// while it crawls or cannot be reached yet (it may still be starting), and
// stops once it is idle or after `patience` without an answer.
class IndexProgress : public QObject {
    Q_OBJECT
public:
    explicit IndexProgress(std::chrono::milliseconds interval = std::chrono::seconds(1),
                           std::chrono::milliseconds patience = std::chrono::seconds(30), QObject* parent = nullptr);
    ~IndexProgress() override;

    void start();
    bool polling() const;

signals:
    // Every answer; `crawling` false once the first crawl is done.
    void statusChanged(bool crawling, long long entries);

private:
    void poll();
    void onAnswer();

    std::chrono::milliseconds interval_;
    int unansweredLeft_;
    QTimer timer_;
    QFutureWatcher<std::optional<IndexStatus>> watcher_;
};

}  // namespace qf
