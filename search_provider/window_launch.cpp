#include "search_provider/window_launch.h"

#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include "protocol/helper_programs.h"

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
    // The window outlives the provider: it must not hold the streams the
    // bus gave the provider, or whoever reads them waits on.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached();
}

}  // namespace qf
