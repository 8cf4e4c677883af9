#pragma once
// The wildcard/suffix name test and compiled ICU regular expressions.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qf {

// token must already be lower-cased by the caller.
bool patternMatch(std::string_view token, std::string_view name);

// An ICU-syntax regular expression, compiled once, safe to share between
// threads (each test uses its own matcher).
class Regex {
public:
    static std::optional<Regex> compile(std::string_view pattern, bool caseInsensitive);
    // True when the expression finds a match anywhere in text.
    bool matches(std::string_view text) const;

    struct Impl;

private:
    explicit Regex(std::shared_ptr<const Impl> impl);
    std::shared_ptr<const Impl> impl_;
};

}  // namespace qf
