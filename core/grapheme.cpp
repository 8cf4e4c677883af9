#include "core/grapheme.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

#include <algorithm>
#include <memory>

namespace qf {

namespace {

// Break iterators are not thread-safe; each thread keeps its own, built once.
icu::BreakIterator* characterIterator() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> it(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) it.reset();
        return it;
    }();
    return iterator.get();
}

}  // namespace

bool isPlainAscii(std::string_view s) {
    for (unsigned char c : s) {
        if (c >= 0x80 || c == '\r') return false;
    }
    return true;
}

std::vector<std::size_t> graphemeBoundaries(std::string_view s) {
    std::vector<std::size_t> bounds{0};
    if (isPlainAscii(s)) {
        for (std::size_t i = 1; i <= s.size(); ++i) bounds.push_back(i);
        return bounds;
    }
    icu::BreakIterator* it = characterIterator();
    UErrorCode status = U_ZERO_ERROR;
    UText* text = utext_openUTF8(nullptr, s.data(), static_cast<int64_t>(s.size()), &status);
    if (!it || U_FAILURE(status)) {
        utext_close(text);
        for (std::size_t i = 1; i <= s.size(); ++i) bounds.push_back(i);
        return bounds;
    }
    it->setText(text, status);
    for (int32_t at = it->next(); at != icu::BreakIterator::DONE; at = it->next()) {
        bounds.push_back(static_cast<std::size_t>(at));
    }
    // Detach the iterator before the text it points into goes away.
    it->setText(icu::UnicodeString());
    utext_close(text);
    if (bounds.back() != s.size()) bounds.push_back(s.size());
    return bounds;
}

std::vector<std::string_view> graphemes(std::string_view s) {
    if (isPlainAscii(s)) {
        std::vector<std::string_view> out;
        out.reserve(s.size());
        for (std::size_t i = 0; i < s.size(); ++i) out.push_back(s.substr(i, 1));
        return out;
    }
    const auto bounds = graphemeBoundaries(s);
    std::vector<std::string_view> out;
    out.reserve(bounds.size() - 1);
    for (std::size_t i = 1; i < bounds.size(); ++i) {
        out.push_back(s.substr(bounds[i - 1], bounds[i] - bounds[i - 1]));
    }
    return out;
}

bool isBoundary(const std::vector<std::size_t>& boundaries, std::size_t offset) {
    return std::binary_search(boundaries.begin(), boundaries.end(), offset);
}

}  // namespace qf
