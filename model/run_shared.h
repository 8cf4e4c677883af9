#pragma once
// What the background workers share with the Model that started them. The
// workers hold it by shared_ptr, so it outlives the Model; they never touch
// the Model itself.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

namespace qf {

struct RunShared {
    // The serial of the newest run; workers compare it with their own.
    std::atomic<std::int64_t> serial{0};
    // The case switch, read live by the local literal filter.
    std::atomic<bool> caseSensitive{false};
    // False once the Model is gone. Set under postLock so that no worker can
    // post a delivery after the Model (and, later, the application) is gone.
    std::atomic<bool> alive{true};
    std::mutex postLock;

    bool isCurrent(std::int64_t s) const { return serial.load() == s; }
};

// The background queue: a process-wide pool with enough threads for workers
// that block in child processes and retry pauses, so overlapping runs never
// wait for one another.
void runInBackground(std::function<void()> work);

// Waits until no background work is left or the timeout (ms) passes; true
// when idle. For orderly shutdowns, tests and benchmarks.
bool waitForBackgroundIdle(int timeoutMs);

// Queues fn on the main thread, after everything posted before it, unless the
// Model behind shared is gone. fn must itself check that the Model exists.
void postToMain(RunShared& shared, std::function<void()> fn);

}  // namespace qf
