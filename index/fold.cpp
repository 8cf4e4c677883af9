#include "fold.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

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

bool isAscii(std::string_view bytes) {
  for (unsigned char c : bytes)
    if (c >= 0x80) return false;
  return true;
}

bool isValidUtf8(std::string_view s) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) { ++i; continue; }
    size_t len;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) { len = 2; cp = c & 0x1F; }
    else if (c >= 0xE0 && c <= 0xEF) { len = 3; cp = c & 0x0F; }
    else if (c >= 0xF0 && c <= 0xF4) { len = 4; cp = c & 0x07; }
    else return false;
    if (i + len > n) return false;
    for (size_t k = 1; k < len; ++k) {
      unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
        (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
      return false;
    i += len;
  }
  return true;
}

std::string foldName(std::string_view utf8, FoldMode mode) {
  if (isAscii(utf8)) return foldAscii(utf8, mode.ignoreCase);
  const Normalizers& n = normalizers();
  UErrorCode ec = U_ZERO_ERROR;
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(
      icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
  if (mode.ignoreCase) u = n.nfkcCasefold->normalize(u, ec);
  if (mode.ignoreDiacritics) u = withoutNonspacingMarks(n.nfd->normalize(u, ec));
  u = n.nfc->normalize(u, ec);
  std::string out;
  if (U_FAILURE(ec)) return std::string(utf8);
  u.toUTF8String(out);
  return out;
}

}  // namespace qf::index
