#include "mdfind_arguments.h"

#include <optional>

namespace qf::index {

std::variant<MdfindCommand, ParseError> parseMdfindArguments(const std::vector<std::string>& args, std::time_t now,
                                                             const std::string& cwd) {
    MdfindCommand cmd;
    std::optional<std::string> nameTerm, query;
    bool status = false, optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto next = [&](const char* what) -> std::optional<std::string> {
            if (i + 1 >= args.size()) return std::nullopt;
            (void)what;
            return args[++i];
        };
        if (optionsEnded || a.empty() || a[0] != '-') {
            if (query) return ParseError{"more than one query given; quote the whole query as one argument"};
            query = a;
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "-name") {
            auto t = next("-name");
            if (!t) return ParseError{"-name needs a text"};
            if (nameTerm) return ParseError{"-name may be given only once"};
            nameTerm = *t;
        } else if (a == "-onlyin") {
            auto d = next("-onlyin");
            if (!d || d->empty()) return ParseError{"-onlyin needs a folder"};
            cmd.request.onlyIn.push_back(normalizeAbsolutePath(*d, cwd));
        } else if (a == "-count") {
            cmd.request.countOnly = true;
        } else if (a == "-0") {
            cmd.nulSeparated = true;
        } else if (a == "--status" || a == "-status") {
            status = true;
        } else if (a == "--start-service") {
            cmd.startServiceOnly = true;
        } else if (a == "-h" || a == "-help" || a == "--help") {
            cmd.help = true;
        } else {
            return ParseError{"unknown option " + a};
        }
    }
    if (cmd.help || cmd.startServiceOnly) return cmd;
    int kinds = (nameTerm ? 1 : 0) + (query ? 1 : 0) + (status ? 1 : 0);
    if (kinds == 0) return ParseError{"no query given (try -name TEXT or --help)"};
    if (kinds > 1) return ParseError{"give only one of -name TEXT, a query, or --status"};
    Request base = cmd.request;
    if (status) {
        cmd.request = Request{};
        cmd.request.op = Request::Op::status;
        return cmd;
    }
    if (nameTerm) {
        if (auto e = checkNameTerm(*nameTerm)) return *e;
        cmd.request.op = Request::Op::nameContains;
        cmd.request.value = *nameTerm;
        return cmd;
    }
    auto parsed = parseQueryExpression(*query, now);
    if (auto* e = std::get_if<ParseError>(&parsed)) return *e;
    cmd.request = std::get<Request>(parsed);
    cmd.request.onlyIn = base.onlyIn;
    cmd.request.countOnly = base.countOnly;
    return cmd;
}

}  // namespace qf::index
