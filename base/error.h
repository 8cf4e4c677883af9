#pragma once
// Why something failed: a code a caller can branch on (an errno, or one of
// our own kinds below) and the context a person needs to act on it.
#include <cerrno>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>

namespace qf {

// A system-call failure as a bare code, for the few places that keep one.
inline std::error_code errorOf(int number) { return {number, std::generic_category()}; }
// The error the last failed system call left in errno.
inline std::error_code lastError() { return errorOf(errno); }

// Failures that no system call reported. The context says what exactly;
// the kind is for callers that react differently to them.
enum class Errc {
    invalidInput = 1,  // a query, argument, request or setting that cannot be taken as it is
    badData,           // stored or received data, or a file in our keeping, not in the form it must have
    refused,           // the other side answered, and its answer is no
    unavailable,       // the other side cannot be reached or ended before it answered
};

const std::error_category& quillfindCategory();
inline std::error_code make_error_code(Errc e) { return {static_cast<int>(e), quillfindCategory()}; }

class Error {
public:
    // Explicit: a std::error_code of 0 means success to its callers, and
    // must never turn into a failure by accident.
    explicit Error(std::error_code code, std::string context = {}) : code_(code), context_(std::move(context)) {}
    Error(Errc code, std::string context) : code_(make_error_code(code)), context_(std::move(context)) {}

    static Error fromErrno(int number, std::string context) { return Error(errorOf(number), std::move(context)); }
    // errno as the failed call left it. Building `context` may allocate,
    // which leaves errno alone when it succeeds; anything that may fail in
    // between needs fromErrno with errno saved first.
    static Error lastErrno(std::string context) { return fromErrno(errno, std::move(context)); }

    const std::error_code& code() const { return code_; }
    const std::string& context() const { return context_; }

    // One line for a person. A system error reads "<context>: <strerror>";
    // for our own kinds the context already says everything ("unknown
    // attribute kMDItemX"), so it is the whole message.
    std::string message() const;

    // The same failure seen from further out: "<outer>: <context>".
    Error within(std::string_view outer) &&;
    Error within(std::string_view outer) const& { return Error(*this).within(outer); }

    bool operator==(std::errc e) const { return code_ == e; }
    bool operator==(Errc e) const { return code_ == make_error_code(e); }

private:
    std::error_code code_;
    std::string context_;
};

}  // namespace qf

template <>
struct std::is_error_code_enum<qf::Errc> : std::true_type {};
