#include "index/client/wire.h"

#include <charconv>
#include <limits>

#include "protocol/index_protocol.h"

namespace qf::index {
namespace {

namespace p = qf::protocol;

const char* opName(Request::Op op) {
    switch (op) {
        case Request::Op::nameContains:
            return "name";
        case Request::Op::nameGlob:
            return "glob";
        case Request::Op::changedBetween:
            return "since";
        case Request::Op::status:
            return "status";
        case Request::Op::best:
            return "best";
        case Request::Op::verify:
            return "verify";
    }
    return "status";
}

std::optional<Request::Op> opFromName(std::string_view s) {
    if (s == "name") return Request::Op::nameContains;
    if (s == "glob") return Request::Op::nameGlob;
    if (s == "since") return Request::Op::changedBetween;
    if (s == "status") return Request::Op::status;
    if (s == "best") return Request::Op::best;
    if (s == "verify") return Request::Op::verify;
    return std::nullopt;
}

void field(std::string& out, std::string_view key, std::string_view value) {
    out.append(key);
    out += '=';
    out.append(value);
    out += '\0';
}

std::optional<int64_t> toInt(std::string_view s) {
    int64_t v = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
    return v;
}

std::optional<bool> toFlag(std::string_view s) {
    if (s == "1") return true;
    if (s == "0") return false;
    return std::nullopt;
}

}  // namespace

std::string encodeRequest(const Request& r) {
    std::string out;
    field(out, p::kKeyOp, opName(r.op));
    field(out, p::kKeyValue, r.value);
    field(out, p::kKeyCase, r.mode.ignoreCase ? "1" : "0");
    field(out, p::kKeyDiacritics, r.mode.ignoreDiacritics ? "1" : "0");
    field(out, p::kKeySince, std::to_string(r.notBefore));
    field(out, p::kKeyBefore, std::to_string(r.before));
    for (const std::string& dir : r.onlyIn) field(out, p::kKeyOnlyIn, dir);
    field(out, p::kKeyCount, r.countOnly ? "1" : "0");
    for (const std::string& term : r.terms) field(out, p::kKeyTerm, term);
    for (const std::string& pattern : r.patterns) field(out, p::kKeyPattern, pattern);
    if (r.limit != 0) field(out, p::kKeyLimit, std::to_string(r.limit));
    out += '\0';
    return out;
}

Expected<Request> decodeRequest(std::string_view bytes) {
    // The key is named, never the value: it may be anything the client sent.
    auto malformed = [](std::string_view why) {
        return Error(Errc::badData, "malformed request: " + std::string(why));
    };
    Request r;
    bool haveOp = false;
    size_t pos = 0;
    while (true) {
        size_t end = bytes.find('\0', pos);
        if (end == std::string_view::npos) return malformed("it does not end");
        std::string_view f = bytes.substr(pos, end - pos);
        pos = end + 1;
        if (f.empty()) break;
        size_t eq = f.find('=');
        if (eq == std::string_view::npos) return malformed("a field without =");
        std::string_view key = f.substr(0, eq), value = f.substr(eq + 1);
        bool valid = true;
        if (key == p::kKeyOp) {
            auto op = opFromName(value);
            valid = op.has_value();
            if (op) r.op = *op;
            haveOp = true;
        } else if (key == p::kKeyValue) {
            r.value = value;
        } else if (key == p::kKeyCase || key == p::kKeyDiacritics || key == p::kKeyCount) {
            auto flag = toFlag(value);
            valid = flag.has_value();
            bool& target = key == p::kKeyCase         ? r.mode.ignoreCase
                           : key == p::kKeyDiacritics ? r.mode.ignoreDiacritics
                                                      : r.countOnly;
            if (flag) target = *flag;
        } else if (key == p::kKeySince || key == p::kKeyBefore) {
            auto v = toInt(value);
            valid = v.has_value();
            if (v) (key == p::kKeyBefore ? r.before : r.notBefore) = *v;
        } else if (key == p::kKeyOnlyIn) {
            r.onlyIn.emplace_back(value);
        } else if (key == p::kKeyTerm) {
            r.terms.emplace_back(value);
        } else if (key == p::kKeyPattern) {
            r.patterns.emplace_back(value);
        } else if (key == p::kKeyLimit) {
            auto v = toInt(value);
            valid = v && *v >= 0 && *v <= std::numeric_limits<uint32_t>::max();
            if (valid) r.limit = static_cast<uint32_t>(*v);
        } else {
            return malformed("an unknown field");
        }
        if (!valid) return malformed("the value of " + std::string(key));
    }
    if (!haveOp) return malformed("no op");
    if (pos != bytes.size()) return malformed("bytes after its end");
    return r;
}

std::string replyRecord(char tag, std::string_view payload) {
    std::string out;
    out.reserve(payload.size() + 2);
    out += tag;
    out.append(payload);
    out += '\0';
    return out;
}

}  // namespace qf::index
