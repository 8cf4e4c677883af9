#pragma once
// Starting a thread is one of the few things that fails by throwing:
// std::system_error when the system has no thread (or address space for
// its stack) to give, std::bad_alloc when the work cannot be handed over.
// Callers get that as an Error they decide on, never as std::terminate.
#include <functional>
#include <string_view>
#include <thread>

#include "base/expected.h"

namespace qf {

// Runs `work` on a new thread; fails with "cannot start a thread for
// <what>: <reason>".
Expected<std::thread> startThread(std::function<void()> work, std::string_view what);

}  // namespace qf
