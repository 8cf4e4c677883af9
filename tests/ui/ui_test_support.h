#pragma once
// Shared pieces of the window tests: the application object, QString file
// helpers over the shared TempDir, an isolated environment with a fake index
// command.
#include <QApplication>
#include <QString>
#include <string>
#include <vector>

#include "common/recording_desktop.h"
#include "common/test_support.h"
#include "core/hit.h"

namespace qf::test {

// The one QApplication of the test program, made on first use.
QApplication& app();

// A path below `dir`; put() writes a file and mkdirs() a folder, making the
// folders on the way; both return the full path.
QString at(const TempDir& dir, const QString& relative);
QString put(const TempDir& dir, const QString& relative, const QByteArray& content);
QString mkdirs(const TempDir& dir, const QString& relative);

// Points the debug log, settings and every variable the Model reads into
// `dir`, and installs a fake "mdfind" that answers from `paths`: a -name query
// with the paths whose file name contains the term (ignoring case), every
// other query with all of them.
void isolateEnvironment(const TempDir& dir, const std::vector<QString>& paths);

Hit fileHit(const std::string& path, std::int64_t size, std::optional<Date> modified = {},
            std::optional<Date> created = {}, std::string kind = "Plain text");
Hit folderHit(const std::string& path);

}  // namespace qf::test
