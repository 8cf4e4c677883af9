#pragma once
#include <chrono>
#include <cstddef>

namespace qf {

inline constexpr std::chrono::milliseconds kDebounceDelay{450};
inline constexpr std::chrono::milliseconds kRetryPause{400};
inline constexpr std::chrono::milliseconds kSimulateDelay{3000};
// Empty answers for index terms are asked again this often while the run is
// still current.
inline constexpr int kIndexTermRetries = 2;
// Only this many candidates, in plain path order, are examined by name.
inline constexpr std::size_t kCandidatesExamined = 2000;
inline constexpr std::size_t kHitCap = 1000;

}  // namespace qf
