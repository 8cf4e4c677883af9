#include "ui/index_progress.h"

#include <QLocale>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

#include "index/client/client.h"
#include "protocol/index_protocol.h"

namespace qf {

QString crawlProgressText(long long entries) {
    const QString count = QLocale(QLocale::Chinese, QLocale::China).toString(entries);
    return QStringLiteral("索引建立中：已收录 %1 项 · 结果尚不完整").arg(count);
}

QString incompleteIndexText(long long folders) {
    const QString count = QLocale(QLocale::Chinese, QLocale::China).toString(folders);
    return QStringLiteral("索引不完整：%1 个文件夹暂未读取，稍后重试 · 结果尚不完整").arg(count);
}

QString settingsFailureText(const QString& reason, bool held) {
    return held ? QStringLiteral("索引设置无法使用，修复前不建立索引：%1").arg(reason)
                : QStringLiteral("索引设置无法使用，沿用原有设置：%1").arg(reason);
}

IndexProgress::IndexProgress(std::chrono::milliseconds interval, std::chrono::milliseconds patience, QObject* parent)
    : QObject(parent),
      interval_(interval),
      unansweredLeft_(
          static_cast<int>(std::max<long long>(1, patience.count() / std::max<long long>(1, interval.count())))) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &IndexProgress::poll);
    connect(&watcher_, &QFutureWatcherBase::finished, this, &IndexProgress::onAnswer);
}

IndexProgress::~IndexProgress() {
    timer_.stop();
    // The worker holds nothing of ours, but its answer must not arrive late.
    watcher_.waitForFinished();
}

void IndexProgress::start() { poll(); }

// Not the watcher's own state: it stops running before its finished signal
// reaches onAnswer, which may still start the timer.
bool IndexProgress::polling() const { return timer_.isActive() || asking_; }

void IndexProgress::poll() {
    const std::string socketPath = protocol::socketPath();
    const auto timeout = interval_;
    asking_ = true;
    watcher_.setFuture(QtConcurrent::run([socketPath, timeout]() -> std::optional<index::ServiceStatus> {
        auto status = index::queryStatus(socketPath, timeout);
        if (!status) return std::nullopt;
        return std::move(*status);
    }));
}

void IndexProgress::onAnswer() {
    asking_ = false;
    const std::optional<index::ServiceStatus> status = watcher_.result();
    // A service that does not say how far it is counts as not answering.
    if (!status || status->crawling == index::Flag::unknown || !status->entries) {
        if (--unansweredLeft_ > 0) timer_.start(interval_);
        return;
    }
    const bool crawling = status->crawling == index::Flag::yes;
    const auto unlisted = static_cast<long long>(status->unlistedFolders.value_or(0));
    emit statusChanged(crawling, static_cast<long long>(*status->entries), unlisted);
    const QString failure = QString::fromStdString(status->settingsFailure.value_or(std::string()));
    emit settingsChanged(failure, status->settingsHeld == index::Flag::yes);
    // A file that cannot be used is followed until it can: then the index
    // fills, or the settings in force change. Folders not read yet are
    // followed until they are.
    if (crawling || unlisted > 0 || !failure.isEmpty()) timer_.start(interval_);
}

}  // namespace qf
