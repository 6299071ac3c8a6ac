#include "TSaveDialog.h"

#include <QFileDialog>

void TSaveDialog::configure(QFileDialog& dialog) const {
    dialog.setObjectName(QStringLiteral("SaveDialog1"));
    // Qt's own dialog, so that title, filter and default extension behave the
    // same on every desktop.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !OverwritePrompt);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setWindowTitle(Title);
    dialog.setDefaultSuffix(DefaultExt);
    dialog.setNameFilter(Filter);
    dialog.selectFile(FileName);
}

bool TSaveDialog::Execute(QWidget* parent) {
    QFileDialog dialog(parent);
    configure(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return false;
    FileName = chosen.first();
    return true;
}
