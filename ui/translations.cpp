#include "ui/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "core/debug_log.h"

namespace qf {

bool useChineseThroughout(QCoreApplication& app) {
    // The program's own texts are Chinese only, and a window half in English
    // reads badly. Under LANG=C.UTF-8 the kinds would otherwise be
    // "plain text document" and the dates "Dec 7, 2024" beside Chinese
    // titles. Set before the search workers start, which read it.
    const QLocale chinese(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China);
    QLocale::setDefault(chinese);
    auto* translator = new QTranslator(&app);
    const bool loaded = translator->load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"),
                                         QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (!loaded || !QCoreApplication::installTranslator(translator)) {
        dbg("translations missing qtbase_zh_CN");
        delete translator;
        return false;
    }
    return true;
}

}  // namespace qf
