#include "search_provider/window_launch.h"

#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include "core/spotlight.h"

namespace qf {

std::string siblingProgram(const std::string& name) {
    const std::string folder = runningProgramFolder();
    if (folder.empty()) return {};
    for (const std::string& candidate : {folder + "/" + name, folder + "/../../bin/" + name}) {
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

bool launchWindow(const std::string& query) {
    const std::string program = siblingProgram("quillfind");
    if (program.empty()) return false;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The window, not one of the unattended modes the provider's own
    // environment might name.
    for (const char* mode : {"QUILLFIND_DUMP", "QUILLFIND_STRESS", "QUILLFIND_SIMULATE"}) env.remove(mode);
    if (query.empty()) {
        env.remove(QStringLiteral("QUILLFIND_QUERY"));
    } else {
        env.insert(QStringLiteral("QUILLFIND_QUERY"), QString::fromStdString(query));
    }
    QProcess process;
    process.setProgram(QFile::decodeName(program.c_str()));
    process.setProcessEnvironment(env);
    process.setStandardInputFile(QProcess::nullDevice());
    return process.startDetached();
}

}  // namespace qf
