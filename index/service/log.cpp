#include "index/service/log.h"

#include <ctime>
#include <string>

#include "base/write_all.h"
#include "index/client/printable.h"

namespace qf::index {

void logLine(std::string_view message) {
    char stamp[32];
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S ", &local);
    std::string line = stamp;
    line += "quillfind-indexd: ";
    // Messages carry file names; one of them must not forge or split lines.
    line += escapeControls(message);
    line += '\n';
    writeStderrLine(line);
}

}  // namespace qf::index
