#include "search_provider/session_desktop.h"

#include <QFile>
#include <QProcess>
#include <QUrl>
#include <cstdio>

namespace qf {

void SessionDesktop::openItem(const std::string& path) {
    // A file URL, so no name can be taken for an option of the opener.
    const QString url = QUrl::fromLocalFile(QFile::decodeName(path.c_str())).toString(QUrl::FullyEncoded);
    QProcess opener;
    opener.setProgram(QStringLiteral("xdg-open"));
    opener.setArguments({url});
    // The opened application outlives the provider: it must not hold the
    // streams the bus gave the provider, or whoever reads them waits on.
    opener.setStandardInputFile(QProcess::nullDevice());
    opener.setStandardOutputFile(QProcess::nullDevice());
    opener.setStandardErrorFile(QProcess::nullDevice());
    if (!opener.startDetached())
        std::fprintf(stderr, "quillfind-search-provider: xdg-open could not be started for %s\n", path.c_str());
}

}  // namespace qf
