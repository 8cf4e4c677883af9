#pragma once
// Stress mode: replay queries against the by-name search and time them.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qf {

inline constexpr int kStressPasses = 5;

// Splits at every ","; pieces are kept as they are, empty ones included.
std::vector<std::string> splitStressQueries(std::string_view value);

// The terms one stress query sends to the by-name search: the plain tokens of
// the trimmed query, unreduced and case kept.
std::vector<std::string> stressTerms(std::string_view query);

// "R<pass> '<query>' -> <size> in <ms>ms\n"
std::string stressLine(int pass, std::string_view query, std::size_t resultSize, std::int64_t milliseconds);

// Runs every pass and hands each finished line to `write`, then
// "STRESS_DONE\n".
void runStress(const std::vector<std::string>& queries, const std::function<void(const std::string&)>& write);

}  // namespace qf
