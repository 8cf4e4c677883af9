// mdfind: asks the index service for items by name or by change date and
// prints one absolute path per line, streaming as the answer arrives.

#include <unistd.h>

#include <algorithm>
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
#include "base/utf8.h"
#include "base/write_all.h"
#include "index/client/client.h"
#include "index/client/printable.h"
#include "mdfind/mdfind_arguments.h"
#include "mdfind/status_text.h"
#include "protocol/build_info.h"
#include "protocol/helper_programs.h"
#include "protocol/index_protocol.h"

namespace {

using namespace qf::index;

constexpr const char* kUsage =
    "usage: mdfind [-onlyin DIR]... [-count] [-0] -name TEXT\n"
    "       mdfind [-onlyin DIR]... [-count] [-0] QUERY\n"
    "       mdfind [-onlyin DIR]... --verify\n"
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
    "  --verify       list the disk afresh and print where the index differs from it\n"
    "                 (missing:, extra:, changed:); exit 1 when it does, 2 on error\n"
    "  --status       show the index service's state\n"
    "  --start-service  start the index service when it is not running\n"
    "  --version      print the version\n";

// Buffered standard output that ends the process quietly when the reader
// has gone (as when head has read enough).
class Output {
public:
    Output() = default;
    ~Output() { flush(); }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    void write(std::string_view s) {
        buffer_.append(s);
        if (buffer_.size() >= size_t{64} * 1024) flush();
    }
    void flush() {
        if (qf::writeAll(STDOUT_FILENO, buffer_)) std::_Exit(0);
        buffer_.clear();
    }

private:
    std::string buffer_;
};

// Two scans for single bytes are far cheaper than find_first_of, which
// tests each byte against the set in turn.
bool printableAsLine(std::string_view path) {
    return std::memchr(path.data(), '\n', path.size()) == nullptr &&
           std::memchr(path.data(), '\r', path.size()) == nullptr && qf::isValidUtf8(path);
}

int fail(const std::string& message, int status = 1) {
    // Messages quote arguments and paths: their control characters are
    // shown escaped, never sent to the terminal.
    qf::writeStderrLine("mdfind: " + escapeControls(message) + "\n");
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

// Prints each difference the service finds, then a summary. 0: the index
// agrees with the disk; 1: it differs; 2: the walk failed or a folder
// could not be listed.
int verify(int fd, const Request& request) {
    Output out;
    std::string serviceError, summary;
    uint64_t differences = 0, unlisted = 0;
    auto ended = exchange(fd, request, [&](const ReplyRecord& r) {
        switch (r.tag) {
            case qf::protocol::kTagDifference: {
                const size_t space = r.payload.find(' ');
                if (space == std::string_view::npos) break;
                ++differences;
                out.write(std::string(r.payload.substr(0, space)) + ": " + escapeControls(r.payload.substr(space + 1)) +
                          "\n");
                break;
            }
            case qf::protocol::kTagUnlisted: {
                const size_t cut = std::min(r.payload.find('\n'), r.payload.size());
                ++unlisted;
                out.flush();
                fail("cannot list " + std::string(r.payload.substr(std::min(cut + 1, r.payload.size()))) + ": " +
                     std::string(r.payload.substr(0, cut)));
                break;
            }
            case qf::protocol::kTagSummary:
                summary = r.payload;
                break;
            case qf::protocol::kTagEnd:
                if (r.payload != "0") serviceError = std::string(r.payload);
                break;
            default:
                break;
        }
        return true;
    });
    if (!ended) return fail(ended.error().message(), 2);
    if (!serviceError.empty()) return fail(serviceError, 2);
    const size_t space = summary.find(' ');
    const std::string folders = summary.substr(0, space),
                      items = space == std::string::npos ? "?" : summary.substr(space + 1);
    out.write("verified " + items + " items in " + folders + " folders: " + std::to_string(differences) +
              (differences == 1 ? " difference" : " differences") +
              (unlisted ? ", " + std::to_string(unlisted) + " folders could not be listed" : "") + "\n");
    out.flush();
    return unlisted ? 2 : differences ? 1 : 0;
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
    if (!parsed) return fail(parsed.error().message() + " (see mdfind --help)", 2);
    const MdfindCommand& cmd = *parsed;
    if (cmd.help) {
        Output out;
        out.write(kUsage);
        return 0;
    }

    auto connection = qf::connectOrStartIndexService(
        qf::findIndexServiceExecutable(qf::protocol::runningProgramFolder()), std::chrono::seconds(5));
    if (!connection) return fail(connection.error().message());
    if (cmd.startServiceOnly) return 0;
    if (cmd.request.op == Request::Op::status) {
        auto status = askStatus(connection->get());
        if (!status) return fail(status.error().message());
        Output out;
        out.write(formatStatus(*status));
        return 0;
    }

    if (cmd.request.op == Request::Op::verify) return verify(connection->get(), cmd.request);

    Output out;
    std::string serviceError, notice;
    uint64_t leftOut = 0;
    auto ended = exchange(connection->get(), cmd.request, [&](const ReplyRecord& r) {
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
                } else {
                    ++leftOut;
                }
                break;
            case qf::protocol::kTagCount:
                out.write(r.payload);
                out.write("\n");
                break;
            case qf::protocol::kTagNotice:
                notice = r.payload;
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
    if (!ended) return fail(ended.error().message());
    if (!serviceError.empty()) return fail(serviceError);
    // Still a success (what is indexed so far was answered), but never a
    // silent one: scripts read the paths, people see why some may be missing.
    if (!notice.empty()) fail(notice);
    if (leftOut)
        fail(std::to_string(leftOut) + (leftOut == 1 ? " path" : " paths") +
             " left out: their names hold a line break or bytes that are not UTF-8 (-0 lists them)");
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
