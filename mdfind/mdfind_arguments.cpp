#include "mdfind/mdfind_arguments.h"

#include <optional>

namespace qf::index {
namespace {

Error invalid(std::string message) { return Error(Errc::invalidInput, std::move(message)); }

}  // namespace

Expected<MdfindCommand> parseMdfindArguments(const std::vector<std::string>& args, std::time_t now,
                                             const std::string& cwd) {
    MdfindCommand cmd;
    std::optional<std::string> nameTerm, query;
    bool status = false, verify = false, optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto next = [&](const char* what) -> std::optional<std::string> {
            if (i + 1 >= args.size()) return std::nullopt;
            (void)what;
            return args[++i];
        };
        if (optionsEnded || a.empty() || a[0] != '-') {
            if (query) return invalid("more than one query given; quote the whole query as one argument");
            query = a;
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "-name") {
            auto t = next("-name");
            if (!t) return invalid("-name needs a text");
            if (nameTerm) return invalid("-name may be given only once");
            nameTerm = *t;
        } else if (a == "-onlyin") {
            auto d = next("-onlyin");
            if (!d || d->empty()) return invalid("-onlyin needs a folder");
            cmd.request.onlyIn.push_back(normalizeAbsolutePath(*d, cwd));
        } else if (a == "-count") {
            cmd.request.countOnly = true;
        } else if (a == "-0") {
            cmd.nulSeparated = true;
        } else if (a == "--status" || a == "-status") {
            status = true;
        } else if (a == "--verify") {
            verify = true;
        } else if (a == "--start-service") {
            cmd.startServiceOnly = true;
        } else if (a == "-h" || a == "-help" || a == "--help") {
            cmd.help = true;
        } else {
            return invalid("unknown option " + a);
        }
    }
    if (cmd.help || cmd.startServiceOnly) return cmd;
    int kinds = (nameTerm ? 1 : 0) + (query ? 1 : 0) + (status ? 1 : 0) + (verify ? 1 : 0);
    if (kinds == 0) return invalid("no query given (try -name TEXT or --help)");
    if (kinds > 1) return invalid("give only one of -name TEXT, a query, --status or --verify");
    Request base = cmd.request;
    if (verify) {
        if (cmd.request.countOnly || cmd.nulSeparated) return invalid("--verify takes only -onlyin");
        cmd.request.op = Request::Op::verify;
        return cmd;
    }
    if (status) {
        cmd.request = Request{};
        cmd.request.op = Request::Op::status;
        return cmd;
    }
    if (nameTerm) {
        if (auto checked = checkNameTerm(*nameTerm); !checked) return std::move(checked).error();
        cmd.request.op = Request::Op::nameContains;
        cmd.request.value = *nameTerm;
        return cmd;
    }
    auto parsed = parseQueryExpression(*query, now);
    if (!parsed) return std::move(parsed).error();
    cmd.request = std::move(*parsed);
    cmd.request.onlyIn = base.onlyIn;
    cmd.request.countOnly = base.countOnly;
    return cmd;
}

}  // namespace qf::index
