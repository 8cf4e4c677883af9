#include "wire.h"

#include <charconv>

#include "index_protocol.h"

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
    }
    return "status";
}

std::optional<Request::Op> opFromName(std::string_view s) {
    if (s == "name") return Request::Op::nameContains;
    if (s == "glob") return Request::Op::nameGlob;
    if (s == "since") return Request::Op::changedBetween;
    if (s == "status") return Request::Op::status;
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
    out += '\0';
    return out;
}

std::optional<Request> decodeRequest(std::string_view bytes) {
    Request r;
    bool haveOp = false;
    size_t pos = 0;
    while (true) {
        size_t end = bytes.find('\0', pos);
        if (end == std::string_view::npos) return std::nullopt;
        std::string_view f = bytes.substr(pos, end - pos);
        pos = end + 1;
        if (f.empty()) break;
        size_t eq = f.find('=');
        if (eq == std::string_view::npos) return std::nullopt;
        std::string_view key = f.substr(0, eq), value = f.substr(eq + 1);
        if (key == p::kKeyOp) {
            auto op = opFromName(value);
            if (!op) return std::nullopt;
            r.op = *op;
            haveOp = true;
        } else if (key == p::kKeyValue) {
            r.value = value;
        } else if (key == p::kKeyCase || key == p::kKeyDiacritics || key == p::kKeyCount) {
            auto flag = toFlag(value);
            if (!flag) return std::nullopt;
            if (key == p::kKeyCase)
                r.mode.ignoreCase = *flag;
            else if (key == p::kKeyDiacritics)
                r.mode.ignoreDiacritics = *flag;
            else
                r.countOnly = *flag;
        } else if (key == p::kKeySince || key == p::kKeyBefore) {
            auto v = toInt(value);
            if (!v) return std::nullopt;
            (key == p::kKeyBefore ? r.before : r.notBefore) = *v;
        } else if (key == p::kKeyOnlyIn) {
            r.onlyIn.emplace_back(value);
        } else {
            return std::nullopt;
        }
    }
    if (!haveOp || pos != bytes.size()) return std::nullopt;
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
