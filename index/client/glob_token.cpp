// The textual form of glob tokens, shared by mdfind and the service; no ICU.
#include "index/client/glob_token.h"

namespace qf::index {

std::string globTokensToText(const std::vector<GlobToken>& tokens) {
    std::string out;
    for (const GlobToken& t : tokens) {
        if (t.kind == GlobToken::Kind::anyRun) {
            out += '*';
            continue;
        }
        if (t.kind == GlobToken::Kind::anyChar) {
            out += '?';
            continue;
        }
        for (char c : t.text) {
            if (c == '*' || c == '?' || c == '\\') out += '\\';
            out += c;
        }
    }
    return out;
}

std::vector<GlobToken> globTokensFromText(std::string_view text) {
    std::vector<GlobToken> tokens;
    auto literal = [&]() -> std::string& {
        if (tokens.empty() || tokens.back().kind != GlobToken::Kind::literal)
            tokens.push_back({GlobToken::Kind::literal, {}});
        return tokens.back().text;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size())
            literal() += text[++i];
        else if (c == '*')
            tokens.push_back({GlobToken::Kind::anyRun, {}});
        else if (c == '?')
            tokens.push_back({GlobToken::Kind::anyChar, {}});
        else
            literal() += c;
    }
    return tokens;
}

}  // namespace qf::index
