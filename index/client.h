#pragma once
#include <functional>
#include <string>
#include <string_view>

#include "request.h"

namespace qf::index {

// One reply record from the service.
struct ReplyRecord {
    char tag;
    std::string_view payload;
};

// Sends the request and hands each reply record to `onRecord` as it
// arrives, up to and including the end record. Returns false when the
// connection broke before the end record or `onRecord` returned false.
bool exchange(int fd, const Request& request, const std::function<bool(const ReplyRecord&)>& onRecord);

}  // namespace qf::index
