#pragma once
// Shared pieces of the window tests: the application, QString file helpers
// over TempDir. The environment is already private.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <memory>
#include <string>
#include <vector>

#include "common/fake_mdfind.h"
#include "common/recording_desktop.h"
#include "common/test_support.h"
#include "core/hit.h"
#include "ui/translations.h"

namespace qf::test {

// The application lives until the run ends and goes before exit handlers
// run (Qt's globals are gone by then); its end waits for the worker pools.
class ApplicationEnvironment : public ::testing::Environment {
public:
    void TearDown() override { application.reset(); }
    static inline std::unique_ptr<QApplication> application;
};

// gtest owns registered environments.
[[maybe_unused]] inline ::testing::Environment* const registeredApplication =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

// The one QApplication of the test program, made on first use, Chinese
// throughout as the window program makes it. The session's locale is the
// plain C one, where the window would most readily fall back to English,
// whatever the machine's.
inline QApplication& app() {
    static int argc = 1;
    static char name[] = "test_ui";
    static char* argv[] = {name, nullptr};
    if (!ApplicationEnvironment::application) {
        qputenv("LC_ALL", "C.UTF-8");
        qunsetenv("LANGUAGE");
        ApplicationEnvironment::application = std::make_unique<QApplication>(argc, argv);
        useChineseThroughout(*ApplicationEnvironment::application);
        QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
    }
    return *ApplicationEnvironment::application;
}

// A path below `dir`; put() writes a file and mkdirs() a folder, making the
// folders on the way; both return the full path.
inline QString at(const TempDir& dir, const QString& relative) {
    return QDir(QString::fromStdString(dir.path())).filePath(relative);
}
inline QString put(const TempDir& dir, const QString& relative, const QByteArray& content) {
    const QString full = at(dir, relative);
    QDir().mkpath(QFileInfo(full).absolutePath());
    writeFile(full.toStdString(), content.toStdString());
    return full;
}
inline QString mkdirs(const TempDir& dir, const QString& relative) {
    QDir().mkpath(at(dir, relative));
    return at(dir, relative);
}

inline Hit fileHit(const std::string& path, std::int64_t size, std::optional<Date> modified = {},
                   std::optional<Date> created = {}, std::string kind = "Plain text") {
    return Hit(path, lastPathComponent(path), false, size, modified, created, std::move(kind));
}
inline Hit folderHit(const std::string& path) {
    return Hit(path, lastPathComponent(path), true, -1, std::nullopt, std::nullopt, "Folder");
}

}  // namespace qf::test
