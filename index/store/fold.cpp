#include "index/store/fold.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <array>
#include <optional>

#include "base/utf8.h"

namespace qf::index {
namespace {

struct Normalizers {
    const icu::Normalizer2* nfc = nullptr;
    const icu::Normalizer2* nfd = nullptr;
    const icu::Normalizer2* nfkcCasefold = nullptr;
};

const Normalizers& normalizers() {
    static const Normalizers n = [] {
        UErrorCode ec = U_ZERO_ERROR;
        Normalizers r;
        r.nfc = icu::Normalizer2::getNFCInstance(ec);
        r.nfd = icu::Normalizer2::getNFDInstance(ec);
        r.nfkcCasefold = icu::Normalizer2::getNFKCCasefoldInstance(ec);
        return r;
    }();
    return n;
}

icu::UnicodeString withoutNonspacingMarks(const icu::UnicodeString& s) {
    icu::UnicodeString out;
    for (int32_t i = 0; i < s.length();) {
        UChar32 c = s.char32At(i);
        if (u_charType(c) != U_NON_SPACING_MARK) out.append(c);
        i += U16_LENGTH(c);
    }
    return out;
}

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string foldAscii(std::string_view s, bool ignoreCase) {
    std::string out(s);
    if (ignoreCase)
        for (char& c : out) c = lowerAscii(c);
    return out;
}

// Past ASCII, most names on a disk are in Latin scripts or Chinese, and
// the crawl folds every name. The letters of Latin-1 and Latin Extended-A/B
// and the CJK unified ideographs are starters that neither compose with a
// following letter of that kind nor with ASCII, so such a name folds letter
// by letter: each Latin letter's fold is computed once, by ICU, and
// ideographs fold to themselves. Any other character (a combining mark, a
// compatibility form, bytes that are not UTF-8) sends the whole name
// through ICU.
constexpr char32_t kLatinFirst = 0xC0, kLatinLast = 0x24F;

bool isUnifiedIdeograph(char32_t c) { return (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF); }

size_t modeIndex(FoldMode mode) { return (mode.ignoreCase ? 1 : 0) + (mode.ignoreDiacritics ? 2 : 0); }

using LatinFolds = std::array<std::array<std::string, kLatinLast - kLatinFirst + 1>, 4>;

const LatinFolds& latinFolds() {
    static const LatinFolds folds = [] {
        LatinFolds f;
        for (size_t m = 0; m < f.size(); ++m)
            for (char32_t c = kLatinFirst; c <= kLatinLast; ++c) {
                const char letter[] = {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
                f[m][c - kLatinFirst] = foldNameWithIcu({letter, 2}, {(m & 1) != 0, (m & 2) != 0});
            }
        return f;
    }();
    return folds;
}

std::optional<std::string> foldByLetters(std::string_view s, FoldMode mode) {
    const auto& latin = latinFolds()[modeIndex(mode)];
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            out += mode.ignoreCase ? lowerAscii(s[i]) : s[i];
            ++i;
        } else if ((b & 0xE0) == 0xC0 && i + 1 < s.size() && isUtf8Continuation(s[i + 1])) {
            const char32_t c = ((b & 0x1Fu) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu);
            if (c < kLatinFirst || c > kLatinLast) return std::nullopt;
            out += latin[c - kLatinFirst];
            i += 2;
        } else if ((b & 0xF0) == 0xE0 && i + 2 < s.size() && isUtf8Continuation(s[i + 1]) &&
                   isUtf8Continuation(s[i + 2])) {
            const char32_t c = ((b & 0x0Fu) << 12) | ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 6) |
                               (static_cast<unsigned char>(s[i + 2]) & 0x3Fu);
            if (!isUnifiedIdeograph(c)) return std::nullopt;
            out.append(s.substr(i, 3));
            i += 3;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

}  // namespace

std::string foldNameWithIcu(std::string_view utf8, FoldMode mode) {
    const Normalizers& n = normalizers();
    UErrorCode ec = U_ZERO_ERROR;
    icu::UnicodeString u =
        icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    if (mode.ignoreCase) u = n.nfkcCasefold->normalize(u, ec);
    if (mode.ignoreDiacritics) u = withoutNonspacingMarks(n.nfd->normalize(u, ec));
    u = n.nfc->normalize(u, ec);
    std::string out;
    if (U_FAILURE(ec)) return std::string(utf8);
    u.toUTF8String(out);
    return out;
}

std::string foldName(std::string_view utf8, FoldMode mode) {
    if (isAscii(utf8)) return foldAscii(utf8, mode.ignoreCase);
    if (std::optional<std::string> folded = foldByLetters(utf8, mode)) return std::move(*folded);
    return foldNameWithIcu(utf8, mode);
}

}  // namespace qf::index
