#include "core/name_search.h"

#include <cstring>
#include <utility>

#include "base/utf8.h"
#include "core/debug_log.h"
#include "core/shell.h"
#include "core/spotlight.h"

namespace qf {

namespace {

std::string quoted(const std::string& term) { return "'" + term + "'"; }

}  // namespace

bool holdsFirstLine(std::string_view head) {
    std::size_t start = 0;
    for (std::size_t from = 0; from < head.size();) {
        const void* found = std::memchr(head.data() + from, '\n', head.size() - from);
        if (!found) return false;
        const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(found) - head.data());
        from = end + 1;
        // CR LF does not end a line.
        if (end > 0 && head[end - 1] == '\r') continue;
        if (end > start) return isValidUtf8(head.substr(start, end - start));
        start = end + 1;
    }
    return false;
}

NameSearch::NameSearch(std::string term) : term_(std::move(term)) {}

NameSearch::~NameSearch() {
    if (!done_) abandon();
}

void NameSearch::start() {
    child_ = std::make_shared<ChildProcess>(mdfindExecutable(), std::vector<std::string>{"-name", term_},
                                            environmentWithPathFirst(mdfindFolder()));
    QueryRunner::shared().registerProcess(child_);
    startError_ = child_->start();
    if (startError_) QueryRunner::shared().unregisterProcess(child_);
}

void NameSearch::readAhead() {
    if (!child_ || startError_ || reader_.joinable()) return;
    // Without a thread, finish() reads the answer itself.
    try {
        reader_ = std::thread([this] { readAhead_ = AnswerLines(child_->readAll()); });
    } catch (const std::system_error&) {
    }
}

AnswerLines NameSearch::finish(const std::function<void()>& onFirstLine) {
    done_ = true;
    if (!child_) start();
    if (startError_) {
        dbg("SPAWN_FAIL " + quoted(term_) + ": " + startError_.message());
        return {};
    }
    AnswerLines lines;
    if (reader_.joinable()) {
        reader_.join();
        lines = std::move(readAhead_);
    } else if (onFirstLine) {
        lines = AnswerLines(child_->readAll([&](std::string_view head) {
            if (!holdsFirstLine(head)) return false;
            onFirstLine();
            return true;
        }));
    } else {
        lines = AnswerLines(child_->readAll());
    }
    const Termination end = child_->wait();
    if (lines.empty()) {
        dbg("mdfind " + quoted(term_) + " EMPTY reason=" + (end.bySignal ? "SIG" : "exit") +
            std::to_string(end.status));
    }
    QueryRunner::shared().unregisterProcess(child_);
    return lines;
}

void NameSearch::abandon() {
    done_ = true;
    if (!child_ || startError_) return;
    child_->terminate();
    if (reader_.joinable()) reader_.join();
    child_->wait();
    QueryRunner::shared().unregisterProcess(child_);
}

}  // namespace qf
