#include "index/client/query_parser.h"

#include <cctype>
#include <charconv>
#include <optional>

#include "index/client/glob_token.h"

namespace qf::index {
namespace {

Error invalid(std::string message) { return Error(Errc::invalidInput, std::move(message)); }

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool isIdent(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// A small cursor over the expression text.
class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}
    void skipSpace() {
        while (pos_ < text_.size() && isSpace(text_[pos_])) ++pos_;
    }
    bool atEnd() const { return pos_ >= text_.size(); }
    char peek(size_t ahead = 0) const { return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0'; }
    char take() { return text_[pos_++]; }
    bool consume(std::string_view s) {
        if (text_.substr(pos_, s.size()) != s) return false;
        pos_ += s.size();
        return true;
    }
    std::string_view identifier() {
        size_t start = pos_;
        if (!atEnd() && isIdentStart(peek()))
            while (!atEnd() && isIdent(peek())) ++pos_;
        return text_.substr(start, pos_ - start);
    }
    std::string_view rest() const { return text_.substr(pos_); }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

enum class Comparison { equal, notBefore, after, before, notAfter };

std::optional<Comparison> readOperator(Cursor& c) {
    if (c.consume("==")) return Comparison::equal;
    if (c.consume(">=")) return Comparison::notBefore;
    if (c.consume("<=")) return Comparison::notAfter;
    if (c.consume(">")) return Comparison::after;
    if (c.consume("<")) return Comparison::before;
    if (c.consume("=")) return Comparison::equal;
    return std::nullopt;
}

void appendLiteral(std::vector<GlobToken>& tokens, char c) {
    if (tokens.empty() || tokens.back().kind != GlobToken::Kind::literal)
        tokens.push_back({GlobToken::Kind::literal, {}});
    tokens.back().text += c;
}

void appendPatternChar(std::vector<GlobToken>& tokens, char c) {
    if (c == '*')
        tokens.push_back({GlobToken::Kind::anyRun, {}});
    else if (c == '?')
        tokens.push_back({GlobToken::Kind::anyChar, {}});
    else
        appendLiteral(tokens, c);
}

struct NameValue {
    std::vector<GlobToken> tokens;
    FoldMode mode{false, false};
};

// Adjacent quoted pieces and backslash escapes, concatenated as a shell
// would, then the modifier letters right after the last quote.
Expected<NameValue> readNameValue(Cursor& c) {
    NameValue v;
    bool quoted = false;
    while (!c.atEnd() && !isSpace(c.peek())) {
        char ch = c.take();
        if (ch == '\'') {
            quoted = true;
            while (!c.atEnd() && c.peek() != '\'') appendPatternChar(v.tokens, c.take());
            if (c.atEnd()) return invalid("unterminated single quote in the value");
            c.take();
        } else if (ch == '"') {
            quoted = true;
            while (!c.atEnd() && c.peek() != '"') {
                char inner = c.take();
                if (inner == '\\' && !c.atEnd())
                    appendLiteral(v.tokens, c.take());
                else
                    appendPatternChar(v.tokens, inner);
            }
            if (c.atEnd()) return invalid("unterminated double quote in the value");
            c.take();
        } else if (ch == '\\') {
            if (c.atEnd()) return invalid("a backslash ends the value");
            appendLiteral(v.tokens, c.take());
        } else if (quoted && std::isalpha(static_cast<unsigned char>(ch))) {
            // Modifiers: letters after the last quote, up to the end of the value.
            std::string mods(1, ch);
            while (!c.atEnd() && !isSpace(c.peek())) mods += c.take();
            for (char m : mods) {
                if (m == 'c')
                    v.mode.ignoreCase = true;
                else if (m == 'd')
                    v.mode.ignoreDiacritics = true;
                else
                    return invalid("unknown modifier '" + std::string(1, m) + "' (only c and d are supported)");
            }
        } else {
            return invalid("the name value must be quoted, as in kMDItemFSName == '*.txt'cd");
        }
    }
    if (!quoted) return invalid("the name value must be quoted, as in kMDItemFSName == '*.txt'cd");
    return v;
}

std::optional<long long> readSignedInteger(Cursor& c) {
    std::string digits;
    if (c.peek() == '-' || c.peek() == '+') digits += c.take();
    while (std::isdigit(static_cast<unsigned char>(c.peek()))) digits += c.take();
    if (digits.empty() || digits == "-" || digits == "+") return std::nullopt;
    long long v = 0;
    auto [ptr, ec] = std::from_chars(digits.data() + (digits[0] == '+' ? 1 : 0), digits.data() + digits.size(), v);
    if (ec != std::errc() || ptr != digits.data() + digits.size()) return std::nullopt;
    return v;
}

// $time.today, $time.today(N) or $time.today(Nd), $time.yesterday,
// $time.now, $time.now(N seconds).
Expected<std::time_t> readTimeValue(Cursor& c, std::time_t now) {
    if (!c.consume("$time.")) return invalid("a date must be given as $time.today(N) or $time.now(N)");
    std::string_view fn = c.identifier();
    long long arg = 0;
    if (c.consume("(")) {
        c.skipSpace();
        auto n = readSignedInteger(c);
        if (!n) return invalid("$time." + std::string(fn) + "(...) needs a whole number");
        arg = *n;
        if (fn == "today" && c.peek() == 'd') c.take();
        c.skipSpace();
        if (!c.consume(")")) return invalid("missing ) after $time." + std::string(fn));
    }
    constexpr long long kMaxDays = 1000000;
    if (fn == "today" || fn == "yesterday") {
        if (arg > kMaxDays || arg < -kMaxDays) return invalid("the day offset is out of range");
        return startOfLocalDay(now, static_cast<int>(arg) - (fn == "yesterday" ? 1 : 0));
    }
    if (fn == "now") {
        if (arg > kMaxDays * 86400 || arg < -kMaxDays * 86400) return invalid("the offset is out of range");
        return now + static_cast<std::time_t>(arg);
    }
    return invalid("unknown date $time." + std::string(fn));
}

bool isNameAttribute(std::string_view a) { return a == "kMDItemFSName" || a == "kMDItemDisplayName"; }
bool isDateAttribute(std::string_view a) {
    return a == "kMDItemFSContentChangeDate" || a == "kMDItemContentModificationDate";
}

Expected<Request> nameQuery(Cursor& c, Comparison op) {
    if (op != Comparison::equal) return invalid("names can only be compared with ==");
    auto value = readNameValue(c);
    if (!value) return std::move(value).error();
    NameValue& v = *value;
    Request r;
    r.op = Request::Op::nameGlob;
    r.value = globTokensToText(v.tokens);
    r.mode = v.mode;
    return r;
}

Expected<Request> dateQuery(Cursor& c, Comparison op, std::time_t now) {
    auto t = readTimeValue(c, now);
    if (!t) return std::move(t).error();
    int64_t at = *t;
    Request r;
    r.op = Request::Op::changedBetween;
    switch (op) {
        case Comparison::notBefore:
            r.notBefore = at;
            break;
        case Comparison::after:
            r.notBefore = at + 1;
            break;
        case Comparison::before:
            r.before = at;
            break;
        case Comparison::notAfter:
            r.before = at + 1;
            break;
        case Comparison::equal:
            r.notBefore = at;
            r.before = at + 1;
            break;
    }
    return r;
}

}  // namespace

std::time_t startOfLocalDay(std::time_t now, int days) {
    std::tm tm{};
    localtime_r(&now, &tm);
    tm.tm_hour = 0;
    tm.tm_min = 0;
    tm.tm_sec = 0;
    tm.tm_mday += days;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

Expected<void> checkNameTerm(std::string_view term) {
    if (term.empty()) return invalid("-name needs a non-empty text");
    return {};
}

Expected<Request> parseQueryExpression(std::string_view text, std::time_t now) {
    Cursor c(text);
    c.skipSpace();
    if (c.atEnd()) return invalid("empty query");
    Cursor probe = c;
    std::string_view attribute = probe.identifier();
    probe.skipSpace();
    bool looksLikeExpression = !attribute.empty() && (probe.peek() == '=' || probe.peek() == '<' ||
                                                      probe.peek() == '>' || probe.peek() == '!');
    if (!looksLikeExpression) {
        size_t first = text.find_first_not_of(" \t\r\n");
        size_t last = text.find_last_not_of(" \t\r\n");
        Request r;
        r.op = Request::Op::nameContains;
        r.value = std::string(text.substr(first, last - first + 1));
        if (auto checked = checkNameTerm(r.value); !checked) return std::move(checked).error();
        return r;
    }
    c = probe;
    auto op = readOperator(c);
    if (!op) return invalid("unsupported operator after " + std::string(attribute));
    c.skipSpace();
    if (!isNameAttribute(attribute) && !isDateAttribute(attribute))
        return invalid("unsupported attribute " + std::string(attribute) +
                       " (kMDItemFSName and kMDItemFSContentChangeDate are supported)");
    Expected<Request> result = isNameAttribute(attribute) ? nameQuery(c, *op) : dateQuery(c, *op, now);
    if (!result) return result;
    c.skipSpace();
    if (!c.atEnd()) return invalid("unexpected text after the query: " + std::string(c.rest()));
    return result;
}

std::string normalizeAbsolutePath(std::string_view path, const std::string& cwd) {
    std::string full = (!path.empty() && path[0] == '/') ? std::string(path) : cwd + "/" + std::string(path);
    std::vector<std::string_view> parts;
    std::string_view rest = full;
    while (!rest.empty()) {
        size_t slash = rest.find('/');
        std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string out;
    for (std::string_view p : parts) {
        out += '/';
        out.append(p);
    }
    return out.empty() ? "/" : out;
}

}  // namespace qf::index
