#include "index/client/best_answer.h"

#include <charconv>
#include <optional>

#include "index/client/client.h"
#include "protocol/index_protocol.h"

namespace qf::index {

std::string rankedPayload(const RankedEntry& entry) {
    std::string out;
    out += static_cast<char>('0' + static_cast<int>(entry.rank));
    out += entry.isFolder ? 'd' : 'f';
    out += ' ';
    out += entry.changedNs ? std::to_string(*entry.changedNs) : "-";
    out += ' ';
    out += entry.path;
    return out;
}

std::optional<RankedEntry> parseRankedPayload(std::string_view payload) {
    if (payload.size() < 6 || payload[2] != ' ') return std::nullopt;
    RankedEntry entry;
    if (payload[0] < '0' || payload[0] > '2') return std::nullopt;
    entry.rank = static_cast<MatchRank>(payload[0] - '0');
    if (payload[1] != 'd' && payload[1] != 'f') return std::nullopt;
    entry.isFolder = payload[1] == 'd';
    const size_t space = payload.find(' ', 3);
    if (space == std::string_view::npos || space + 1 == payload.size()) return std::nullopt;
    const std::string_view time = payload.substr(3, space - 3);
    if (time != "-") {
        int64_t ns = 0;
        const auto [end, ec] = std::from_chars(time.data(), time.data() + time.size(), ns);
        if (ec != std::errc() || end != time.data() + time.size()) return std::nullopt;
        entry.changedNs = ns;
    }
    entry.path = payload.substr(space + 1);
    return entry;
}

Expected<BestAnswer> askBest(int fd, const Request& request) {
    BestAnswer answer;
    std::optional<Error> failure;
    auto read = exchange(fd, request, [&](const ReplyRecord& record) {
        switch (record.tag) {
            case protocol::kTagCount: {
                const auto [end, ec] = std::from_chars(record.payload.data(),
                                                       record.payload.data() + record.payload.size(), answer.matches);
                if (ec == std::errc() && end == record.payload.data() + record.payload.size()) return true;
                break;
            }
            case protocol::kTagRanked:
                if (auto entry = parseRankedPayload(record.payload)) {
                    answer.entries.push_back(std::move(*entry));
                    return true;
                }
                break;
            case protocol::kTagEnd:
                if (record.payload != "0")
                    failure =
                        Error(Errc::refused, "the index service refused the search: " + std::string(record.payload));
                return true;
            default:
                break;
        }
        failure = Error(Errc::badData, "the index service sent a malformed answer");
        return false;
    });
    if (failure) return *std::move(failure);
    if (!read) return std::move(read).error();
    return answer;
}

}  // namespace qf::index
