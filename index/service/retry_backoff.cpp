#include "index/service/retry_backoff.h"

#include <algorithm>

namespace qf::index {

bool RetryBackoff::due(int64_t nowMs) const {
    std::lock_guard lock(mutex_);
    return failures_ == 0 || nowMs >= next_;
}

bool RetryBackoff::failed(int64_t nowMs, const std::string& reason) {
    std::lock_guard lock(mutex_);
    delay_ = failures_ == 0 ? first_ : std::min(longest_, delay_ * 2);
    next_ = nowMs + delay_;
    ++failures_;
    bool changed = failures_ == 1 || reason != reason_;
    reason_ = reason;
    return changed;
}

bool RetryBackoff::succeeded() {
    std::lock_guard lock(mutex_);
    bool recovered = failures_ > 0;
    failures_ = 0;
    delay_ = 0;
    reason_.clear();
    return recovered;
}

bool RetryBackoff::failing() const {
    std::lock_guard lock(mutex_);
    return failures_ > 0;
}

std::string RetryBackoff::reason() const {
    std::lock_guard lock(mutex_);
    return reason_;
}

int64_t RetryBackoff::delayMs() const {
    std::lock_guard lock(mutex_);
    return delay_;
}

int64_t RetryBackoff::nextAttemptMs() const {
    std::lock_guard lock(mutex_);
    return next_;
}

}  // namespace qf::index
