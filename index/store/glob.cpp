#include "index/store/glob.h"

#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include <algorithm>
#include <memory>

#include "base/utf8.h"
#include "index/store/fold.h"

namespace qf::index {
namespace {

std::vector<size_t> asciiBoundaries(std::string_view text) {
    std::vector<size_t> b;
    b.reserve(text.size() + 1);
    for (size_t i = 0; i < text.size(); ++i)
        if (!(i > 0 && text[i - 1] == '\r' && text[i] == '\n')) b.push_back(i);
    b.push_back(text.size());
    return b;
}

icu::BreakIterator* characterIterator() {
    thread_local std::unique_ptr<icu::BreakIterator> it = [] {
        UErrorCode ec = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> p(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), ec));
        return U_SUCCESS(ec) ? std::move(p) : nullptr;
    }();
    return it.get();
}

}  // namespace

std::vector<size_t> characterBoundaries(std::string_view text) {
    icu::BreakIterator* it = characterIterator();
    if (isAscii(text) || !it) return asciiBoundaries(text);
    UErrorCode ec = U_ZERO_ERROR;
    UText* ut = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &ec);
    if (U_FAILURE(ec)) return asciiBoundaries(text);
    it->setText(ut, ec);
    std::vector<size_t> b;
    for (int32_t p = it->first(); p != icu::BreakIterator::DONE; p = it->next()) b.push_back(static_cast<size_t>(p));
    utext_close(ut);
    if (b.empty() || b.back() != text.size()) b.push_back(text.size());
    return b;
}

GlobPattern::GlobPattern(const std::vector<GlobToken>& tokens, FoldMode mode) : mode_(mode) {
    for (const GlobToken& t : tokens) {
        if (t.kind == GlobToken::Kind::anyRun) {
            if (tokens_.empty() || tokens_.back().kind != GlobToken::Kind::anyRun) tokens_.push_back(t);
        } else if (t.kind == GlobToken::Kind::anyChar) {
            tokens_.push_back(t);
            usesAnyChar_ = true;
        } else {
            std::string folded = foldName(t.text, mode);
            if (folded.empty()) continue;
            if (!tokens_.empty() && tokens_.back().kind == GlobToken::Kind::literal)
                tokens_.back().text += folded;
            else
                tokens_.push_back({GlobToken::Kind::literal, std::move(folded)});
        }
    }
    for (const GlobToken& t : tokens_)
        if (t.kind == GlobToken::Kind::literal && t.text.size() > longest_.size()) longest_ = t.text;
}

// Patterns of literals and "*" only: the first literal must start the name
// and the last end it (unless a "*" stands there), and the others are found
// left to right; the leftmost choice never loses a match.
static bool matchesWithStarsOnly(const std::vector<GlobToken>& tokens, std::string_view name) {
    if (tokens.empty()) return name.empty();
    const bool leading = tokens.front().kind == GlobToken::Kind::anyRun;
    const bool trailing = tokens.back().kind == GlobToken::Kind::anyRun;
    std::vector<std::string_view> literals;
    literals.reserve(tokens.size());
    for (const GlobToken& t : tokens)
        if (t.kind == GlobToken::Kind::literal) literals.push_back(t.text);
    if (literals.empty()) return true;  // "*" alone
    if (literals.size() == 1 && !leading && !trailing) return name == literals[0];
    size_t first = 0, last = literals.size(), pos = 0, limit = name.size();
    if (!leading) {
        if (!name.starts_with(literals[0])) return false;
        pos = literals[0].size();
        first = 1;
    }
    if (!trailing) {
        if (!name.ends_with(literals.back()) || name.size() - literals.back().size() < pos) return false;
        limit = name.size() - literals.back().size();
        --last;
    }
    for (size_t k = first; k < last; ++k) {
        size_t at = name.substr(0, limit).find(literals[k], pos);
        if (at == std::string_view::npos) return false;
        pos = at + literals[k].size();
    }
    return true;
}

bool GlobPattern::matches(std::string_view name) const {
    if (!usesAnyChar_) return matchesWithStarsOnly(tokens_, name);
    // Without "?" a byte-wise walk gives the same answer as a walk by
    // characters, since literals are whole UTF-8 sequences.
    std::vector<size_t> bounds;
    if (usesAnyChar_) bounds = characterBoundaries(name);
    auto next = [&](size_t pos) -> size_t {
        if (!usesAnyChar_) return pos + 1;
        auto it = std::upper_bound(bounds.begin(), bounds.end(), pos);
        return it == bounds.end() ? name.size() + 1 : *it;
    };
    auto onBoundary = [&](size_t pos) {
        return !usesAnyChar_ || std::binary_search(bounds.begin(), bounds.end(), pos);
    };

    using Kind = GlobToken::Kind;
    size_t ti = 0, si = 0;
    size_t starTi = std::string::npos, starSi = 0;
    while (true) {
        if (ti < tokens_.size()) {
            const GlobToken& t = tokens_[ti];
            if (t.kind == Kind::anyRun) {
                starTi = ti++;
                starSi = si;
                continue;
            }
            if (t.kind == Kind::anyChar && si < name.size()) {
                si = next(si);
                ++ti;
                continue;
            }
            if (t.kind == Kind::literal && name.compare(si, t.text.size(), t.text) == 0 &&
                si + t.text.size() <= name.size() && onBoundary(si + t.text.size())) {
                si += t.text.size();
                ++ti;
                continue;
            }
        } else if (si == name.size()) {
            return true;
        }
        if (starTi == std::string::npos || starSi >= name.size()) return false;
        starSi = next(starSi);
        if (starSi > name.size()) return false;
        si = starSi;
        ti = starTi + 1;
    }
}

}  // namespace qf::index
