#pragma once

#include <QString>

class QFileDialog;
class QWidget;

// The main window's save-file dialog as a settings holder: the dialog itself
// is built only when it runs, so start-up does not pay for a file dialog.
class TSaveDialog {
public:
    QString Title;
    QString DefaultExt;
    QString Filter;
    QString FileName;
    // Ask, in Spanish, before replacing an existing file.
    bool OverwritePrompt = false;

    // Runs the dialog modally over parent. True when the user confirmed; then
    // FileName holds the chosen file's full path.
    bool Execute(QWidget* parent);

    // Builds the dialog with the settings above, not yet shown.
    void configure(QFileDialog& dialog) const;
};
