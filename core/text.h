#pragma once
// Unicode helpers shared by the search core and the model. All strings are
// UTF-8; "characters" are user-perceived characters (extended grapheme
// clusters). Casing is the root-locale (locale-independent) mapping.
#include <cstddef>
#include <string>
#include <string_view>

namespace qf {

std::size_t charCount(std::string_view s);
// The first n characters of s (all of s when it is shorter).
std::string firstChars(std::string_view s, std::size_t n);
// True when every character of s is ASCII (one code point below 0x80, or CR LF).
bool allAscii(std::string_view s);
std::string lowerCase(std::string_view s);
std::string upperCase(std::string_view s);
std::string nfc(std::string_view s);
// True when s is its own NFC form; text that is not valid UTF-8 is not.
bool isNfc(std::string_view s);
// Substring test in which canonically equivalent sequences are equal; case
// and diacritics are significant.
bool containsCanonical(std::string_view haystack, std::string_view needle);
// Removes spaces, tabs and the other Unicode space separators from both ends;
// line breaks stay.
std::string trimSpaces(std::string_view s);
// The same, and line breaks are trimmed too.
std::string trimSpacesAndLineBreaks(std::string_view s);

}  // namespace qf
