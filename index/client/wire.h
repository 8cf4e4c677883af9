#pragma once
#include <string>
#include <string_view>

#include "base/expected.h"
#include "index/client/request.h"

namespace qf::index {

// The request as sent over the socket (see protocol/index_protocol.h).
std::string encodeRequest(const Request& request);
// Errc::badData for anything malformed: unknown keys or values, missing
// fields, bytes after the end.
Expected<Request> decodeRequest(std::string_view bytes);

// One reply record: tag byte, payload, NUL.
std::string replyRecord(char tag, std::string_view payload);

}  // namespace qf::index
