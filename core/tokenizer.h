#pragma once
// Cutting the query text into tokens and classifying them.
#include <string>
#include <string_view>
#include <vector>

namespace qf {

std::vector<std::string> strTokenize(std::string_view text);
std::string pathTailToken(const std::string& token);
bool isPatternToken(std::string_view token);
bool isWideShortToken(std::string_view token);
std::vector<std::string> extractLiterals(std::string_view regexText);

}  // namespace qf
