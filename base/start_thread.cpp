#include "base/start_thread.h"

#include <new>
#include <string>
#include <system_error>

namespace qf {

Expected<std::thread> startThread(std::function<void()> work, std::string_view what) {
    const auto failed = [&](std::error_code code) {
        return Error(code, "cannot start a thread for " + std::string(what));
    };
    try {
        return std::thread(std::move(work));
    } catch (const std::system_error& e) {
        return failed(e.code());
    } catch (const std::bad_alloc&) {
        return failed(std::make_error_code(std::errc::not_enough_memory));
    }
}

}  // namespace qf
