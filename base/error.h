#pragma once
// System-call failures as std::error_code, the one error type at that level.
#include <cerrno>
#include <system_error>

namespace qf {

inline std::error_code errorOf(int number) { return {number, std::generic_category()}; }
// The error the last failed system call left in errno.
inline std::error_code lastError() { return errorOf(errno); }

}  // namespace qf
