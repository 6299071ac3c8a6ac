#pragma once

class QCoreApplication;

namespace cto {

// Qt's own texts in Spanish (the save dialog's labels and columns, the message
// boxes' buttons, the context menus), whatever the desktop's language: every
// text of the program is Spanish, and a window half in English reads worse
// than one in either. Installs Qt's Spanish translation (qtbase_es.qm, from
// the package qt6-translations-l10n) on the application; false when it is
// not installed, and Qt's texts stay as they were. Makes Spanish (Spain) the
// program's locale too, so that the dates Qt writes read in Spanish form.
bool installQtSpanishTexts(QCoreApplication& application);

} // namespace cto
