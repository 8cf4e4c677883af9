// mdfind: asks the index service for items by name or by change date and
// prints one absolute path per line, streaming as the answer arrives.

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <variant>
#include <vector>

#include "base/index_service.h"
#include "build_info.h"
#include "client.h"
#include "fold.h"
#include "helper_programs.h"
#include "index_protocol.h"
#include "mdfind_arguments.h"
#include "printable.h"

namespace {

using namespace qf::index;

constexpr const char* kUsage =
    "usage: mdfind [-onlyin DIR]... [-count] [-0] -name TEXT\n"
    "       mdfind [-onlyin DIR]... [-count] [-0] QUERY\n"
    "       mdfind --status | --start-service | --version\n"
    "\n"
    "  -name TEXT     items whose name contains TEXT, ignoring case and diacritics\n"
    "  QUERY          kMDItemFSName == 'PATTERN'[cd]   whole name; * any run, ? one character;\n"
    "                                                  c ignores case, d diacritics\n"
    "                 kMDItemFSContentChangeDate >= $time.today(N)   changed since the start\n"
    "                                                  of the day N days from today\n"
    "  -onlyin DIR    only items inside DIR (may be repeated)\n"
    "  -count         print the number of matches only\n"
    "  -0             end each path with NUL instead of a line feed\n"
    "  --status       show the index service's state\n"
    "  --start-service  start the index service when it is not running\n"
    "  --version      print the version\n";

// Buffered standard output that ends the process quietly when the reader
// has gone (as when head has read enough).
class Output {
public:
    ~Output() { flush(); }
    void write(std::string_view s) {
        buffer_.append(s);
        if (buffer_.size() >= size_t{64} * 1024) flush();
    }
    void flush() {
        size_t done = 0;
        while (done < buffer_.size()) {
            ssize_t n = ::write(STDOUT_FILENO, buffer_.data() + done, buffer_.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) std::_Exit(0);
            done += static_cast<size_t>(n);
        }
        buffer_.clear();
    }

private:
    std::string buffer_;
};

// Two scans for single bytes are far cheaper than find_first_of, which
// tests each byte against the set in turn.
bool printableAsLine(std::string_view path) {
    return std::memchr(path.data(), '\n', path.size()) == nullptr &&
           std::memchr(path.data(), '\r', path.size()) == nullptr && isValidUtf8(path);
}

int fail(const std::string& message, int status = 1) {
    // Messages quote arguments and paths: their control characters are
    // shown escaped, never sent to the terminal.
    std::string line = "mdfind: " + escapeControls(message) + "\n";
    [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, line.data(), line.size());
    return status;
}

std::string currentFolder() {
    std::vector<char> buf(4096);
    while (!::getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE) return "/";
        buf.resize(buf.size() * 2);
    }
    return buf.data();
}

int run(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--version") {
        Output out;
        out.write(std::string("mdfind (Quillfind) ") + qf::build::kVersion + "\n");
        return 0;
    }
    auto parsed = parseMdfindArguments(args, std::time(nullptr), currentFolder());
    if (auto* e = std::get_if<ParseError>(&parsed)) return fail(e->message + " (see mdfind --help)", 2);
    const MdfindCommand& cmd = std::get<MdfindCommand>(parsed);
    if (cmd.help) {
        Output out;
        out.write(kUsage);
        return 0;
    }

    auto connection = qf::connectOrStartIndexService(
        qf::findIndexServiceExecutable(qf::protocol::runningProgramFolder()), std::chrono::seconds(5));
    if (!connection) return fail(connection.error());
    if (cmd.startServiceOnly) return 0;

    Output out;
    std::string serviceError;
    bool ended = exchange(connection->get(), cmd.request, [&](const ReplyRecord& r) {
        switch (r.tag) {
            case qf::protocol::kTagPath:
                if (cmd.nulSeparated) {
                    out.write(r.payload);
                    out.write(std::string_view("\0", 1));
                } else if (printableAsLine(r.payload)) {
                    // A path that a line cannot hold is left out rather than garbling
                    // the whole answer; CR counts too, since readers that split at
                    // CR LF would join it with the next line.
                    out.write(r.payload);
                    out.write("\n");
                }
                break;
            case qf::protocol::kTagCount:
                out.write(r.payload);
                out.write("\n");
                break;
            case qf::protocol::kTagStatus:
                out.write(r.payload);
                break;
            case qf::protocol::kTagEnd:
                if (r.payload != "0") serviceError = std::string(r.payload);
                break;
            default:
                break;
        }
        return true;
    });
    out.flush();
    if (!ended) return fail("the index service closed the connection early");
    if (!serviceError.empty()) return fail(serviceError);
    return 0;
}

}  // namespace

// What the standard library throws (an allocation that fails) ends with a
// line that says so instead of an abort.
int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        return fail(std::string("unexpected failure: ") + e.what());
    }
}
