#pragma once
// Chinese throughout, whatever the session's locale: Qt's own texts (the
// folder chooser, the edit menu of text fields, the standard buttons), the
// kinds of the results (the MIME database's descriptions) and the numbers,
// units and dates of the table, like every text of the program.
class QCoreApplication;

namespace qf {

// Makes Simplified Chinese the process's default locale (kinds, sizes and
// dates follow it; the time zone stays the user's) and loads Qt's Chinese
// catalogue from Qt's translations folder (Debian: qt6-translations-l10n).
// Call it before any search runs. False when the catalogue is not
// installed; Qt's own texts are then English, everything else Chinese.
bool useChineseThroughout(QCoreApplication& app);

}  // namespace qf
