#pragma once
// The one loop that hands bytes to a descriptor until all are taken.
#include <chrono>
#include <optional>
#include <string_view>
#include <system_error>

namespace qf {

// Writes all of `bytes` to fd, retrying short and interrupted writes.
// Given a deadline, a full non-blocking descriptor is waited for until then
// (ETIMEDOUT after it); without one EAGAIN is an error like any other, as
// it is for a socket whose SO_SNDTIMEO ran out. A line handed over whole
// goes out in one write whenever the kernel allows, so lines of concurrent
// writers stay whole. Returns the error of the write that failed.
std::error_code writeAll(int fd, std::string_view bytes,
                         std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt);
// The same on a socket through send(2): a peer that has gone is EPIPE,
// never a SIGPIPE that ends the process.
std::error_code sendAll(int fd, std::string_view bytes,
                        std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt);
// writeAll on the standard error stream, where a failure has nowhere to go.
void writeStderrLine(std::string_view line);

}  // namespace qf
