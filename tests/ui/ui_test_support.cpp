#include "ui_test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <memory>

namespace qf::test {

namespace {

// The application lives from the first test to the end of the run and is
// destroyed before exit handlers run: Qt's own globals are gone by then.
class ApplicationEnvironment : public ::testing::Environment {
public:
    void TearDown() override { application.reset(); }
    static inline std::unique_ptr<QApplication> application;
};

int appArgc = 1;
char appName[] = "test_ui";
char* appArgv[] = {appName, nullptr};

// gtest owns registered environments.
[[maybe_unused]] ::testing::Environment* const registered =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

}  // namespace

QApplication& app() {
    auto& application = ApplicationEnvironment::application;
    if (!application) {
        application = std::make_unique<QApplication>(appArgc, appArgv);
        QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
    }
    return *application;
}

QString at(const TempDir& dir, const QString& relative) {
    return QDir(QString::fromStdString(dir.path())).filePath(relative);
}

QString put(const TempDir& dir, const QString& relative, const QByteArray& content) {
    const QString full = at(dir, relative);
    QDir().mkpath(QFileInfo(full).absolutePath());
    writeFile(full.toStdString(), content.toStdString());
    return full;
}

QString mkdirs(const TempDir& dir, const QString& relative) {
    const QString full = at(dir, relative);
    QDir().mkpath(full);
    return full;
}

void isolateEnvironment(const TempDir& dir, const std::vector<QString>& paths) {
    QString list;
    for (const QString& p : paths) list += p + QLatin1Char('\n');
    put(dir, QStringLiteral("fake-index/paths.txt"), list.toUtf8());
    const QString script = put(dir, QStringLiteral("fake-index/mdfind"), R"(#!/bin/sh
list="$(dirname "$0")/paths.txt"
if [ "$1" = "-name" ]; then
  term=$(printf '%s' "$2" | tr '[:upper:]' '[:lower:]')
  while IFS= read -r p; do
    name=$(basename "$p" | tr '[:upper:]' '[:lower:]')
    case "$name" in *"$term"*) printf '%s\n' "$p" ;; esac
  done < "$list"
else
  cat "$list"
fi
)");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("QUILLFIND_MDFIND", script.toUtf8());
    for (const auto& [name, sub] : {std::pair{"QUILLFIND_DEBUG_LOG", "debug.log"},
                                    {"XDG_CONFIG_HOME", "config"},
                                    {"XDG_CACHE_HOME", "cache"},
                                    {"QUILLFIND_INDEX_DIR", "index"}})
        qputenv(name, at(dir, QString::fromLatin1(sub)).toUtf8());
    for (const char* name : {"QUILLFIND_QUERY", "QUILLFIND_STRESS", "QUILLFIND_SIMULATE", "QUILLFIND_DUMP"})
        qunsetenv(name);
}

Hit fileHit(const std::string& path, std::int64_t size, std::optional<Date> modified, std::optional<Date> created,
            std::string kind) {
    return Hit(path, lastPathComponent(path), false, size, modified, created, std::move(kind));
}

Hit folderHit(const std::string& path) {
    return Hit(path, lastPathComponent(path), true, -1, std::nullopt, std::nullopt, "Folder");
}

}  // namespace qf::test
