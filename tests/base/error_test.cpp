// What a person reads from an Error, and how failures enter an Expected.
#include <gtest/gtest.h>

#include <cstring>

#include "base/expected.h"

namespace qf {
namespace {

// A success code must never become a failure behind the caller's back.
static_assert(!std::is_convertible_v<std::error_code, Error>);
static_assert(!std::is_convertible_v<std::error_code, Expected<void>>);
static_assert(!std::is_convertible_v<std::error_code, Expected<int>>);

TEST(Error, MessagesNameTheContextThenTheSystemReason) {
    const std::string noEntry = std::strerror(ENOENT);
    const struct {
        Error error;
        std::string expected;
    } cases[] = {
        {Error::fromErrno(ENOENT, "cannot open /x"), "cannot open /x: " + noEntry},
        {Error(errorOf(ENOENT)), noEntry},
        {Error::fromErrno(ENOENT, "cannot open /x").within("snapshot"), "snapshot: cannot open /x: " + noEntry},
        {Error(errorOf(ENOENT)).within("cannot start /bin/q"), "cannot start /bin/q: " + noEntry},
        // Our own kinds: the context is the whole story.
        {Error(Errc::invalidInput, "unknown attribute kMDItemX"), "unknown attribute kMDItemX"},
        {Error(Errc::badData, "").within("snapshot"), "snapshot"},
        {Error(Errc::refused, "busy").within("status"), "status: busy"},
        {Error(Errc::unavailable, ""), "not available"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.error.message(), c.expected);
}

TEST(Error, FailuresKeepTheirCodeThroughExpected) {
    const Expected<void> fromErrno = failedWith(EACCES);
    ASSERT_FALSE(fromErrno);
    EXPECT_TRUE(fromErrno.error() == std::errc::permission_denied);
    const Expected<int> fromKind = Error(Errc::refused, "no");
    ASSERT_FALSE(fromKind);
    EXPECT_TRUE(fromKind.error() == Errc::refused);
    EXPECT_FALSE(fromKind.error() == Errc::unavailable);
    EXPECT_EQ(fromKind.valueOr(7), 7);
    const Expected<void> done = {};
    EXPECT_TRUE(done);
}

}  // namespace
}  // namespace qf
