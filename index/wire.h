#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "request.h"

namespace qf::index {

// The request as sent over the socket (see protocol/index_protocol.h).
std::string encodeRequest(const Request& request);
// nullopt for anything malformed: unknown keys or values, missing fields.
std::optional<Request> decodeRequest(std::string_view bytes);

// One reply record: tag byte, payload, NUL.
std::string replyRecord(char tag, std::string_view payload);

}  // namespace qf::index
