#include "model/expression_literals.h"

#include <cctype>

#include "core/tokenizer.h"

namespace qf {

namespace {

bool isAsciiLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

class Blanker {
public:
    explicit Blanker(std::string_view expression) : in_(expression), out_(expression) {}

    std::string run() {
        while (i_ < in_.size()) step();
        return out_;
    }

private:
    void blank(std::size_t from, std::size_t to) {
        for (std::size_t k = from; k < to && k < out_.size(); ++k) out_[k] = ' ';
    }

    // Start of the atom that ends right before position `end`.
    std::size_t atomStart(std::size_t end) const {
        std::size_t start = end - 1;
        while (start > 0 && isContinuation(in_[start])) --start;
        return start;
    }

    void step() {
        const char c = in_[i_];
        if (c == '\\') return escape();
        if (c == '[') return bracket();
        if (c == '(') return openGroup();
        if (c == ')') return closeGroup();
        if (c == '?' || c == '*') return optionalAtom();
        if (c == '{' && interval()) return;
        lastAtom_ = i_;
        ++i_;
        while (i_ < in_.size() && isContinuation(in_[i_])) ++i_;
    }

    // {n}, {n,} or {n,m}: the counts are syntax; with n = 0 the atom before
    // may be absent.
    bool interval() {
        const std::size_t close = in_.find('}', i_);
        if (close == std::string_view::npos || close == i_ + 1) return false;
        const std::string_view inside = in_.substr(i_ + 1, close - i_ - 1);
        if (inside.find_first_not_of("0123456789,") != std::string_view::npos || inside.front() == ',') return false;
        const std::string_view least = inside.substr(0, inside.find(','));
        const bool optional = least.find_first_not_of('0') == std::string_view::npos;
        blank(i_, close + 1);
        if (optional && lastAtom_ != std::string::npos) blank(lastAtom_, i_);
        lastAtom_ = std::string::npos;
        i_ = close + 1;
        return true;
    }

    void optionalAtom() {
        if (i_ > 0 && lastAtom_ != std::string::npos) blank(lastAtom_, i_);
        lastAtom_ = std::string::npos;
        ++i_;
    }

    void escape() {
        const std::size_t start = i_;
        ++i_;
        if (i_ >= in_.size()) return blank(start, i_);
        const char e = in_[i_++];
        if (e == 'Q') return quoted(start);
        if (isAsciiLetter(e)) {
            if (i_ < in_.size() && in_[i_] == '{' &&
                (e == 'p' || e == 'P' || e == 'N' || e == 'x' || e == 'k' || e == 'g')) {
                const std::size_t close = in_.find('}', i_);
                i_ = close == std::string_view::npos ? in_.size() : close + 1;
            } else if (e == 'x') {
                skipHex(2);
            } else if (e == 'u') {
                skipHex(4);
            } else if (e == 'U') {
                skipHex(8);
            } else if (e == 'k' && i_ < in_.size() && in_[i_] == '<') {
                const std::size_t close = in_.find('>', i_);
                i_ = close == std::string_view::npos ? in_.size() : close + 1;
            } else if (e == 'c' && i_ < in_.size()) {
                ++i_;
            }
        } else if (e == '0') {
            for (int n = 0; n < 3 && i_ < in_.size() && in_[i_] >= '0' && in_[i_] <= '7'; ++n) ++i_;
        } else if (e >= '1' && e <= '9') {
            while (i_ < in_.size() && std::isdigit(static_cast<unsigned char>(in_[i_]))) ++i_;  // back reference
        } else {
            while (i_ < in_.size() && isContinuation(in_[i_])) ++i_;
        }
        blank(start, i_);
        lastAtom_ = start;
    }

    void skipHex(int most) {
        for (int n = 0; n < most && i_ < in_.size() && std::isxdigit(static_cast<unsigned char>(in_[i_])); ++n) ++i_;
    }

    // \Q...\E: the text between is literal; only the markers go.
    void quoted(std::size_t start) {
        blank(start, i_);
        const std::size_t end = in_.find("\\E", i_);
        const std::size_t stop = end == std::string_view::npos ? in_.size() : end;
        lastAtom_ = stop > i_ ? atomStart(stop) : std::string::npos;
        i_ = stop;
        if (end != std::string_view::npos) {
            blank(end, end + 2);
            i_ = end + 2;
        }
    }

    void bracket() {
        const std::size_t start = i_;
        int depth = 0;
        while (i_ < in_.size()) {
            const char c = in_[i_];
            if (c == '\\') {
                i_ += 2;
                continue;
            }
            ++i_;
            if (c == '[') ++depth;
            if (c == ']' && --depth == 0) break;
            // A "]" right after the opening "[" or "[^" is a member, not the end.
            if (c == '[' && i_ < in_.size() && in_[i_] == '^') ++i_;
            if (c == '[' && i_ < in_.size() && in_[i_] == ']') ++i_;
        }
        i_ = std::min(i_, in_.size());
        blank(start, i_);
        lastAtom_ = start;
    }

    void openGroup() {
        const std::size_t start = i_++;
        const std::string_view rest = in_.substr(i_);
        groups_.push_back({start, rest.rfind("?!", 0) == 0 || rest.rfind("?<!", 0) == 0});
        if (i_ < in_.size() && in_[i_] == '?') {
            ++i_;
            if (i_ < in_.size() && in_[i_] == '#') {
                const std::size_t close = in_.find(')', i_);
                i_ = close == std::string_view::npos ? in_.size() : close + 1;
                groups_.pop_back();
            } else if (i_ < in_.size() && in_[i_] == '<' && i_ + 1 < in_.size() && in_[i_ + 1] != '=' &&
                       in_[i_ + 1] != '!') {
                const std::size_t close = in_.find('>', i_);
                i_ = close == std::string_view::npos ? in_.size() : close + 1;
            } else {
                // Flags such as (?i) or (?i-m:, and the look-around markers.
                while (i_ < in_.size() && (isAsciiLetter(in_[i_]) || in_[i_] == '-' || in_[i_] == '<' ||
                                           in_[i_] == '=' || in_[i_] == '!' || in_[i_] == '>')) {
                    ++i_;
                }
                if (i_ < in_.size() && in_[i_] == ':') ++i_;
            }
        }
        blank(start, i_);
        lastAtom_ = std::string::npos;
    }

    void closeGroup() {
        lastAtom_ = std::string::npos;
        if (!groups_.empty()) {
            const Group group = groups_.back();
            groups_.pop_back();
            // What a negative look-around names must not be in the name.
            if (group.negative) blank(group.start, i_);
            lastAtom_ = group.start;
        }
        out_[i_] = ' ';
        ++i_;
    }

    std::string_view in_;
    std::string out_;
    std::size_t i_ = 0;
    std::size_t lastAtom_ = std::string::npos;
    struct Group {
        std::size_t start;
        bool negative;
    };
    std::vector<Group> groups_;
};

}  // namespace

std::string blankNonLiterals(std::string_view expression) { return Blanker(expression).run(); }

std::vector<std::string> requiredLiterals(std::string_view expression) {
    return extractLiterals(blankNonLiterals(expression));
}

}  // namespace qf
