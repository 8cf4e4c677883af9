#include "index/client/service_status.h"

#include <charconv>

#include "index/client/wire.h"
#include "protocol/index_protocol.h"

namespace qf::index {
namespace {

template <class Number>
std::optional<Number> parseNumber(std::string_view text) {
    Number n{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return n;
}

std::string withoutNul(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\0')
            out += "\\x00";
        else
            out += c;
    }
    return out;
}

class Encoder {
public:
    explicit Encoder(std::string& out) : out_(out) {}

    void operator()(std::string_view key, Flag v) {
        if (v != Flag::unknown) put(key, v == Flag::yes ? "1" : "0");
    }
    template <class Number>
    void operator()(std::string_view key, const std::optional<Number>& v) {
        if (v) put(key, std::to_string(*v));
    }
    void operator()(std::string_view key, const std::optional<std::string>& v) {
        if (v) put(key, *v);
    }
    void operator()(std::string_view key, const std::vector<std::string>& items) {
        for (const std::string& item : items) put(key, item);
    }
    void operator()(std::string_view key, const std::vector<SettingsProblem>& problems) {
        for (const SettingsProblem& p : problems) put(key, std::to_string(p.line) + " " + p.reason);
    }

private:
    void put(std::string_view key, std::string_view value) {
        out_ += replyRecord(qf::protocol::kTagStatusField, std::string(key) + "=" + withoutNul(value));
    }
    std::string& out_;
};

// Finds the field of one record's key and parses its value into it.
class Reader {
public:
    Reader(std::string_view key, std::string_view value) : key_(key), value_(value) {}

    void operator()(std::string_view key, Flag& v) {
        if (key != key_) return;
        if (value_ == "1") v = Flag::yes;
        if (value_ == "0") v = Flag::no;
    }
    template <class Number>
    void operator()(std::string_view key, std::optional<Number>& v) {
        if (key != key_) return;
        if (auto n = parseNumber<Number>(value_)) v = n;
    }
    void operator()(std::string_view key, std::optional<std::string>& v) {
        if (key == key_) v = std::string(value_);
    }
    void operator()(std::string_view key, std::vector<std::string>& items) {
        if (key == key_) items.emplace_back(value_);
    }
    void operator()(std::string_view key, std::vector<SettingsProblem>& problems) {
        if (key != key_) return;
        const size_t space = value_.find(' ');
        auto line = parseNumber<int>(value_.substr(0, space));
        if (!line || space == std::string_view::npos) return;
        problems.push_back({*line, std::string(value_.substr(space + 1))});
    }

private:
    std::string_view key_;
    std::string_view value_;
};

}  // namespace

std::string encodeStatus(const ServiceStatus& status) {
    std::string out;
    forEachStatusField(status, Encoder(out));
    return out;
}

void readStatusField(ServiceStatus& status, std::string_view payload) {
    const size_t equals = payload.find('=');
    if (equals == std::string_view::npos) return;
    forEachStatusField(status, Reader(payload.substr(0, equals), payload.substr(equals + 1)));
}

}  // namespace qf::index
