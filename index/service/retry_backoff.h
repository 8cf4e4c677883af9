#pragma once
#include <cstdint>
#include <mutex>
#include <string>

namespace qf::index {

// Spaces out the attempts of a task that keeps failing (saving the
// snapshot to a full disk, say): after a failure the next attempt waits
// `firstMs`, doubling with each further failure up to `longestMs`; a
// success starts afresh. It also says when a log line is due: once per
// change of state, not once per attempt. Safe to use from several threads.
class RetryBackoff {
public:
    RetryBackoff(int64_t firstMs, int64_t longestMs) : first_(firstMs), longest_(longestMs) {}

    // Whether an attempt may be made at `nowMs`.
    bool due(int64_t nowMs) const;
    // Records a failed attempt. True when it deserves a log line: the first
    // failure, or one for another reason than the last.
    bool failed(int64_t nowMs, const std::string& reason);
    // Records a success. True when it ends a run of failures.
    bool succeeded();

    // While failing: the last reason, and how long after the last attempt
    // the next one waits.
    bool failing() const;
    std::string reason() const;
    int64_t delayMs() const;
    int64_t nextAttemptMs() const;

private:
    const int64_t first_, longest_;
    mutable std::mutex mutex_;
    int failures_ = 0;
    int64_t delay_ = 0;
    int64_t next_ = 0;
    std::string reason_;
};

}  // namespace qf::index
