#pragma once
#include <string_view>

namespace qf {

// Writes all of bytes to fd, retrying short and interrupted writes. A line
// handed over whole goes out in one write whenever the kernel allows, so
// lines of concurrent writers stay whole. Errors are dropped.
void writeAll(int fd, std::string_view bytes);
// The same on the standard error stream.
void writeStderrLine(std::string_view line);

}  // namespace qf
