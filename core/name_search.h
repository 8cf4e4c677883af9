#pragma once
// One by-name search of the index ("mdfind -name TERM") taken in steps, so
// that an intersection can ask its next term while this answer is still
// arriving. What it logs, and the order of it, is that of a search run from
// start to finish on its own: nothing is logged before finish().
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "core/child_process.h"
#include "core/path_set.h"

namespace qf {

class NameSearch {
public:
    explicit NameSearch(std::string term);
    // A search whose answer was never taken is abandoned.
    ~NameSearch();
    NameSearch(const NameSearch&) = delete;
    NameSearch& operator=(const NameSearch&) = delete;

    // Registers the process with the query runner and starts it.
    void start();
    // From now on the answer is read, and checked, on a thread of its own.
    void readAhead();
    // The answer's lines, once the process has ended; logs a failed start or
    // an empty answer. `onFirstLine` runs once, on this thread, as soon as
    // the output read so far holds a complete non-empty line of UTF-8: the
    // answer is then all but certain to have lines (only invalid bytes
    // further on could still void it).
    AnswerLines finish(const std::function<void()>& onFirstLine = {});
    // Ends a search whose answer is no longer wanted; nothing is logged.
    void abandon();

private:
    std::string term_;
    std::shared_ptr<ChildProcess> child_;
    std::error_code startError_;
    std::thread reader_;
    AnswerLines readAhead_;
    bool done_ = false;
};

// Whether the start of an output holds a complete non-empty line that is
// valid UTF-8, with lines split as an answer splits them.
bool holdsFirstLine(std::string_view head);

}  // namespace qf
