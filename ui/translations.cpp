#include "ui/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "core/debug_log.h"

namespace qf {

bool installChineseTranslations(QCoreApplication& app) {
    // Chinese whatever the session's language: the program's own texts are
    // Chinese only, and a window half in English reads badly.
    auto* translator = new QTranslator(&app);
    const bool loaded = translator->load(QLocale(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China),
                                         QStringLiteral("qtbase"), QStringLiteral("_"),
                                         QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (!loaded || !QCoreApplication::installTranslator(translator)) {
        dbg("translations missing qtbase_zh_CN");
        delete translator;
        return false;
    }
    return true;
}

}  // namespace qf
