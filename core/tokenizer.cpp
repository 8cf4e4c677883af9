#include "core/tokenizer.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <memory>

#include "core/grapheme.h"
#include "core/text.h"

namespace qf {

namespace {

bool hasCharacter(std::string_view s, std::string_view c) {
    for (std::string_view ch : graphemes(s)) {
        if (ch == c) return true;
    }
    return false;
}

}  // namespace

std::vector<std::string> strTokenize(std::string_view text) {
    std::vector<std::string> tokens;
    std::string buffer;
    bool quoted = false;
    for (std::string_view c : graphemes(text)) {
        if (c == "\"") {
            // Only a closing quote ends a token: text right before an
            // opening quote joins the phrase.
            if (quoted) {
                if (!buffer.empty()) tokens.push_back(std::move(buffer));
                buffer.clear();
            }
            quoted = !quoted;
        } else if (c == " " && !quoted) {
            if (!buffer.empty()) tokens.push_back(std::move(buffer));
            buffer.clear();
        } else {
            buffer.append(c);
        }
    }
    if (!buffer.empty()) tokens.push_back(std::move(buffer));
    return tokens;
}

std::string pathTailToken(const std::string& token) {
    if (!hasCharacter(token, "/")) return token;
    std::string last;
    std::string piece;
    for (std::string_view c : graphemes(token)) {
        if (c == "/") {
            if (!piece.empty()) last = std::move(piece);
            piece.clear();
        } else {
            piece.append(c);
        }
    }
    if (!piece.empty()) last = std::move(piece);
    return last.empty() ? token : last;
}

bool isPatternToken(std::string_view token) {
    const auto chars = graphemes(token);
    for (std::string_view c : chars) {
        if (c == "*" || c == "?") return true;
    }
    return chars.size() > 1 && chars.front() == ".";
}

bool isWideShortToken(std::string_view token) { return allAscii(token) && charCount(token) <= 3; }

std::vector<std::string> extractLiterals(std::string_view regexText) {
    std::vector<std::string> out;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexPattern> pattern(
        icu::RegexPattern::compile(icu::UnicodeString(u"[\\p{L}\\p{N}]+"), 0, status));
    if (U_FAILURE(status)) return out;
    const icu::UnicodeString text =
        icu::UnicodeString::fromUTF8(icu::StringPiece(regexText.data(), static_cast<int32_t>(regexText.size())));
    std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(text, status));
    if (U_FAILURE(status)) return out;
    while (matcher->find(status) && U_SUCCESS(status)) {
        std::string piece;
        matcher->group(status).toUTF8String(piece);
        out.push_back(std::move(piece));
    }
    return out;
}

}  // namespace qf
