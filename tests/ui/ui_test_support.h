#pragma once
// Shared pieces of the window tests: the application object, an isolated
// environment, a fake index command over a fixture tree, and a desktop that
// records what it was asked to open.
#include <QApplication>
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "core/hit.h"
#include "model/desktop_services.h"

namespace qf::test {

// The one QApplication of the test program, made on first use.
QApplication& app();

// A throwaway folder; everything a test writes goes below it.
class Sandbox {
public:
    Sandbox();
    QString path(const QString& relative = {}) const;
    // Creates a file (and its folders) with `content`; returns its path.
    QString writeFile(const QString& relative, const QByteArray& content) const;
    QString makeFolder(const QString& relative) const;

private:
    QTemporaryDir dir_;
};

// Points the debug log, settings and every variable the Model reads at the
// sandbox, and installs a fake "mdfind" that answers from `paths`: a -name
// query with the paths whose file name contains the term (ignoring case),
// every other query with all of them.
void isolateEnvironment(const Sandbox& sandbox, const std::vector<QString>& paths);

class RecordingDesktop : public DesktopServices {
public:
    void openItem(const std::string& path) override { opened.push_back(path); }
    std::vector<std::string> opened;
};

Hit fileHit(const std::string& path, std::int64_t size, std::optional<Date> modified = {},
            std::optional<Date> created = {}, std::string kind = "Plain text");
Hit folderHit(const std::string& path);

}  // namespace qf::test
