#include "index/service/folder_retries.h"

#include <algorithm>
#include <cerrno>

#include "index/service/folder_reader.h"
#include "index/store/index_store.h"

namespace qf::index {
namespace {

// A descriptor or some memory is often free again within milliseconds, as
// soon as another listing ends: such a folder is tried again at least every
// second. One that fails for another reason (a failing disk) is tried less
// and less often, at least once a minute.
constexpr int64_t kFirstPauseMs = 50;
constexpr int64_t kLongestPassingPauseMs = 1000;
constexpr int64_t kLongestPauseMs = 60'000;

bool isErrno(const Error& error, std::initializer_list<int> numbers) {
    if (error.code().category() != std::generic_category()) return false;
    return std::find(numbers.begin(), numbers.end(), error.code().value()) != numbers.end();
}

}  // namespace

bool isGone(const Error& error) { return isErrno(error, {ENOENT, ENOTDIR, ELOOP, ESTALE}); }

bool isOutOfDescriptors(const Error& error) { return isErrno(error, {EMFILE, ENFILE}); }

bool isPermissionDenied(const Error& error) { return isErrno(error, {EACCES, EPERM}); }

void FolderRetries::failed(uint32_t entry, bool force, bool recurse, const Error& why, int64_t nowMs) {
    Folder& f = folders_[entry];
    f.force = f.force || force;
    f.recurse = f.recurse || recurse;
    f.taken = false;
    const bool passing =
        isGone(why) || (why.code().category() == std::generic_category() && isPassingErrno(why.code().value()));
    f.dueMs =
        nowMs + std::min(passing ? kLongestPassingPauseMs : kLongestPauseMs, kFirstPauseMs << std::min(f.failures, 20));
    ++f.failures;
    reason_ = why.message();
}

void FolderRetries::done(uint32_t entry) {
    folders_.erase(entry);
    if (folders_.empty()) reason_.clear();
}

std::vector<FolderRetries::Due> FolderRetries::takeDue(int64_t nowMs) {
    std::vector<Due> due;
    for (auto& [entry, f] : folders_) {
        if (f.taken || f.dueMs > nowMs) continue;
        f.taken = true;
        due.push_back({entry, f.force, f.recurse});
    }
    return due;
}

std::optional<int64_t> FolderRetries::nextDueMs() const {
    std::optional<int64_t> next;
    for (const auto& [entry, f] : folders_)
        if (!f.taken && (!next || f.dueMs < *next)) next = f.dueMs;
    return next;
}

void FolderRetries::renumber(const std::vector<uint32_t>& remap) {
    std::unordered_map<uint32_t, Folder> renumbered;
    for (auto& [entry, f] : folders_)
        if (entry < remap.size() && remap[entry] != kNoEntry) renumbered.emplace(remap[entry], f);
    folders_ = std::move(renumbered);
    if (folders_.empty()) reason_.clear();
}

}  // namespace qf::index
