#include "core/matcher.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <unordered_map>

#include "core/grapheme.h"
#include "core/text.h"

namespace qf {

struct Regex::Impl {
    std::unique_ptr<icu::RegexPattern> pattern;
};

namespace {

icu::UnicodeString toUnicode(std::string_view s) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
}

std::shared_ptr<const Regex::Impl> compilePattern(const icu::UnicodeString& pattern, uint32_t flags) {
    UErrorCode status = U_ZERO_ERROR;
    auto impl = std::make_shared<Regex::Impl>();
    impl->pattern.reset(icu::RegexPattern::compile(pattern, flags, status));
    if (U_FAILURE(status) || !impl->pattern) return nullptr;
    return impl;
}

bool findIn(const Regex::Impl& impl, std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString u = toUnicode(text);
    std::unique_ptr<icu::RegexMatcher> matcher(impl.pattern->matcher(u, status));
    if (U_FAILURE(status)) return false;
    const bool found = matcher->find(status);
    return U_SUCCESS(status) && found;
}

// Appends the code points of c so that the expression matches exactly them.
// In ICU syntax every ASCII punctuation character may be escaped with a
// backslash; letters, digits and non-ASCII characters stand for themselves.
void appendLiteral(std::string& out, std::string_view c) {
    for (char ch : c) {
        const auto u = static_cast<unsigned char>(ch);
        const bool alnum = (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
        if (u < 0x80 && !alnum) out.push_back('\\');
        out.push_back(ch);
    }
}

// "^…$" with * as .*, ? as . and everything else literal.
std::string wildcardExpression(std::string_view token) {
    std::string out = "^";
    for (std::string_view c : graphemes(token)) {
        if (c == "*") {
            out += ".*";
        } else if (c == "?") {
            out += ".";
        } else {
            appendLiteral(out, c);
        }
    }
    out += "$";
    return out;
}

// Compiled wildcard expressions of this thread, by token. Queries hold a
// handful of tokens, so the bound only guards against unbounded growth.
std::shared_ptr<const Regex::Impl> wildcardRegex(std::string_view token) {
    thread_local std::unordered_map<std::string, std::shared_ptr<const Regex::Impl>> cache;
    const std::string key(token);
    if (auto hit = cache.find(key); hit != cache.end()) return hit->second;
    if (cache.size() >= 256) cache.clear();
    auto impl = compilePattern(toUnicode(wildcardExpression(token)), UREGEX_CASE_INSENSITIVE);
    cache.emplace(key, impl);
    return impl;
}

bool hasWildcard(std::string_view token) {
    for (std::string_view c : graphemes(token)) {
        if (c == "*" || c == "?") return true;
    }
    return false;
}

// Suffix test by characters, canonically equivalent forms being equal.
bool endsWithCharacters(std::string_view text, std::string_view suffix) {
    const std::string t = nfc(text);
    const std::string s = nfc(suffix);
    if (s.size() > t.size() || t.compare(t.size() - s.size(), s.size(), s) != 0) return false;
    if (allAscii(t) && t.find('\r') == std::string::npos) return true;
    return isBoundary(graphemeBoundaries(t), t.size() - s.size());
}

}  // namespace

bool patternMatch(std::string_view token, std::string_view name) {
    const std::string lowered = lowerCase(name);
    if (!hasWildcard(token)) return endsWithCharacters(lowered, token);
    const auto regex = wildcardRegex(token);
    return regex && findIn(*regex, lowered);
}

Regex::Regex(std::shared_ptr<const Impl> impl) : impl_(std::move(impl)) {}

std::optional<Regex> Regex::compile(std::string_view pattern, bool caseInsensitive) {
    auto impl = compilePattern(toUnicode(pattern), caseInsensitive ? UREGEX_CASE_INSENSITIVE : 0);
    if (!impl) return std::nullopt;
    return Regex(std::move(impl));
}

bool Regex::matches(std::string_view text) const { return impl_ && findIn(*impl_, text); }

}  // namespace qf
