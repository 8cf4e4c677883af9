#pragma once
#include <string>

#include "index/client/service_status.h"

namespace qf::index {

// The status for people, as `mdfind --status` prints it: one "name: value"
// line per fact. A value the service did not send reads "unknown".
std::string formatStatus(const ServiceStatus& status);

}  // namespace qf::index
