#pragma once
// Qt's own texts (the folder chooser, the edit menu of text fields, the
// standard buttons) in Chinese, like every text of the program.
class QCoreApplication;

namespace qf {

// Loads Qt's Simplified Chinese catalogue from Qt's translations folder
// (Debian: qt6-translations-l10n). False when it is not installed; the
// window then shows Qt's English texts.
bool installChineseTranslations(QCoreApplication& app);

}  // namespace qf
