#include <gtest/gtest.h>

#include "wire.h"

namespace qf::index {
namespace {

using Op = Request::Op;

TEST(WireTest, RequestRoundTrip) {
    Request r{Op::nameGlob, "*i'm\\*x?", {false, true}, -5, 1234567890123, {"/a b", "/c=d"}, true};
    auto decoded = decodeRequest(encodeRequest(r));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, r);
}

TEST(WireTest, MalformedRequestsAreRejected) {
    using namespace std::string_literals;
    for (const std::string& b :
         {""s, "op=name\0"s /* no terminator */, "op=bogus\0\0"s, "value=x\0\0"s, "op=name\0icase=2\0\0"s,
          "op=name\0since=12x\0\0"s, "op=name\0novalue\0\0"s, "op=name\0color=red\0\0"s, "op=name\0\0trailing"s})
        EXPECT_FALSE(decodeRequest(b).has_value()) << b;
}

}  // namespace
}  // namespace qf::index
