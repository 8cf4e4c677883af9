#pragma once
#include <functional>
#include <string>
#include <vector>

#include "base/expected.h"
#include "index/service/crawler.h"
#include "index/service/index_state.h"
#include "index/service/service_options.h"

namespace qf::index {

// Lists every folder below the roots (or below the `onlyIn` folders, which
// must lie within them) afresh by the index's own rules and streams each
// difference from what the index holds as a difference record, then a
// summary record. A difference is checked again a second later (and once
// the crawl is idle) and reported only when it lasts: a change made during
// the walk is followed by the index meanwhile. Folders that cannot be
// listed are reported as such. A progress record goes out every second, so
// that a client that went away (or a service that stops) ends the walk.
// Takes `state.mutex` shared, one folder at a time: answers keep flowing.
Expected<void> streamVerify(const IndexState& state, const Crawler& crawler, const ServiceOptions& options,
                            const std::vector<std::string>& onlyIn,
                            const std::function<bool(const std::string&)>& send);

}  // namespace qf::index
