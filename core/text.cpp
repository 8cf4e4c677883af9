#include "core/text.h"

#include <unicode/bytestream.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <cstdint>

#include "base/utf8.h"
#include "core/grapheme.h"

namespace qf {

namespace {

const icu::Normalizer2* nfcNormalizer() {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* n = icu::Normalizer2::getNFCInstance(status);
    return U_SUCCESS(status) ? n : nullptr;
}

std::string fromUnicode(const icu::UnicodeString& u) {
    std::string out;
    u.toUTF8String(out);
    return out;
}

icu::UnicodeString toUnicode(std::string_view s) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
}

// Tab and the Unicode space separators; line breaks are not among them.
bool isTrimmedSpace(UChar32 c) { return c == '\t' || u_charType(c) == U_SPACE_SEPARATOR; }

}  // namespace

std::size_t charCount(std::string_view s) {
    if (isAscii(s)) {
        // Among ASCII only CR LF joins two code points into one character.
        std::size_t n = s.size();
        for (std::size_t i = 1; i < s.size(); ++i) {
            if (s[i - 1] == '\r' && s[i] == '\n') --n;
        }
        return n;
    }
    return graphemes(s).size();
}

std::string firstChars(std::string_view s, std::size_t n) {
    const auto clusters = graphemes(s);
    if (clusters.size() <= n) return std::string(s);
    if (n == 0) return {};
    const auto& last = clusters[n - 1];
    return std::string(s.substr(0, static_cast<std::size_t>(last.data() + last.size() - s.data())));
}

bool allAscii(std::string_view s) {
    // Every extended grapheme cluster of several code points other than
    // CR LF holds a code point above 0x7F, so a byte test is exact.
    return isAscii(s);
}

std::string lowerCase(std::string_view s) {
    if (isAscii(s)) {
        std::string out(s);
        for (char& c : out) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        return out;
    }
    icu::UnicodeString u = toUnicode(s);
    u.toLower(icu::Locale::getRoot());
    return fromUnicode(u);
}

std::string upperCase(std::string_view s) {
    if (isAscii(s)) {
        std::string out(s);
        for (char& c : out) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
        return out;
    }
    icu::UnicodeString u = toUnicode(s);
    u.toUpper(icu::Locale::getRoot());
    return fromUnicode(u);
}

bool isNfc(std::string_view s) {
    if (isAscii(s)) return true;
    const icu::Normalizer2* n = nfcNormalizer();
    if (!n) return true;
    UErrorCode status = U_ZERO_ERROR;
    const bool ok = n->isNormalizedUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())), status);
    return U_SUCCESS(status) && ok;
}

std::string nfc(std::string_view s) {
    if (isNfc(s)) return std::string(s);
    const icu::Normalizer2* n = nfcNormalizer();
    std::string out;
    icu::StringByteSink<std::string> sink(&out);
    UErrorCode status = U_ZERO_ERROR;
    n->normalizeUTF8(0, icu::StringPiece(s.data(), static_cast<int32_t>(s.size())), sink, nullptr, status);
    return U_SUCCESS(status) ? out : std::string(s);
}

bool containsCanonical(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return true;
    const std::string h = nfc(haystack);
    const std::string n = nfc(needle);
    const bool simple = isAscii(h) && h.find('\r') == std::string::npos;
    std::vector<std::size_t> bounds;
    if (!simple) bounds = graphemeBoundaries(h);
    for (std::size_t at = h.find(n); at != std::string::npos; at = h.find(n, at + 1)) {
        // A match must cover whole characters: e is not found in é, even
        // where é has no precomposed form.
        if (simple || (isBoundary(bounds, at) && isBoundary(bounds, at + n.size()))) return true;
    }
    return false;
}

namespace {

template <typename Predicate>
std::string trimmed(std::string_view s, Predicate isTrimmed) {
    const auto* p = reinterpret_cast<const uint8_t*>(s.data());
    const int32_t length = static_cast<int32_t>(s.size());
    int32_t begin = 0;
    while (begin < length) {
        int32_t next = begin;
        UChar32 c;
        U8_NEXT(p, next, length, c);
        if (c < 0 || !isTrimmed(c)) break;
        begin = next;
    }
    int32_t end = length;
    while (end > begin) {
        int32_t prev = end;
        UChar32 c;
        U8_PREV(p, begin, prev, c);
        if (c < 0 || !isTrimmed(c)) break;
        end = prev;
    }
    return std::string(s.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin)));
}

bool isLineBreak(UChar32 c) {
    if ((c >= 0x0A && c <= 0x0D) || c == 0x85) return true;
    const auto type = u_charType(c);
    return type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

}  // namespace

std::string trimSpaces(std::string_view s) { return trimmed(s, isTrimmedSpace); }

std::string trimSpacesAndLineBreaks(std::string_view s) {
    return trimmed(s, [](UChar32 c) { return isTrimmedSpace(c) || isLineBreak(c); });
}

}  // namespace qf
