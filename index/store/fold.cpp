#include "index/store/fold.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

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

std::string foldAscii(std::string_view s, bool ignoreCase) {
    std::string out(s);
    if (ignoreCase)
        for (char& c : out)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace

std::string foldName(std::string_view utf8, FoldMode mode) {
    if (isAscii(utf8)) return foldAscii(utf8, mode.ignoreCase);
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

}  // namespace qf::index
