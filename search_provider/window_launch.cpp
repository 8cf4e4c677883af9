#include "search_provider/window_launch.h"

#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include "helper_programs.h"

namespace qf {

bool launchWindow(const std::string& query) {
    const std::string program = protocol::findHelperProgram("quillfind");
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
