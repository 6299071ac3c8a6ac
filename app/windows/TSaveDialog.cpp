#include "app/windows/TSaveDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTreeView>

namespace {

// Qt's save dialog, asking in Spanish before it replaces a file: a user must
// not lose their own survey to a careless Enter.
class ConfirmingFileDialog : public QFileDialog {
public:
    ConfirmingFileDialog(QWidget* parent, bool confirmOverwrite)
        : QFileDialog(parent), confirmOverwrite_(confirmOverwrite) {}

    void accept() override {
        const QStringList chosen = selectedFiles();
        if (confirmOverwrite_ && !chosen.isEmpty() && QFileInfo::exists(chosen.first()) &&
            !replaceConfirmed(chosen.first()))
            return; // back to the dialog to choose another name
        QFileDialog::accept();
    }

private:
    bool replaceConfirmed(const QString& path) {
        QMessageBox question(QMessageBox::Question, windowTitle(),
                             QStringLiteral("El fichero «%1» ya existe.\n¿Desea reemplazarlo?")
                                 .arg(QFileInfo(path).fileName()),
                             QMessageBox::NoButton, this);
        question.setObjectName(QStringLiteral("ReplaceQuestion"));
        QPushButton* replace = question.addButton(QStringLiteral("&Reemplazar"), QMessageBox::YesRole);
        question.setDefaultButton(question.addButton(QStringLiteral("&No"), QMessageBox::NoRole));
        question.exec();
        return question.clickedButton() == replace;
    }

    bool confirmOverwrite_;
};

// Qt's file list writes dates in the desktop's locale (under LANG=C "11 Dec
// 2026 05:33:22"); the program's own locale, Spanish, writes them instead.
class SpanishDates : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override {
        constexpr int kModifiedColumn = 3;
        auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || index.column() != kModifiedColumn || !files)
            return QIdentityProxyModel::data(index, role);
        const QDateTime modified = files->lastModified(mapToSource(index));
        return modified.isValid() ? QLocale().toString(modified, QLocale::ShortFormat) : QString();
    }
};

// Qt gives the list's columns fixed widths that cut a file's size ("683
// bytes") and the date's heading; each column takes the width of its widest
// text instead, the last the room left, and the list scrolls sideways when
// they need more than the dialog has.
void showColumnsWhole(QFileDialog& dialog) {
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!view)
        return;
    QHeaderView* header = view->header();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setStretchLastSection(true);
}

// Qt's file dialog reads, and on closing writes, the folders it last showed
// (and its sizes) in ~/.config/QtProject.conf, which every Qt program shares:
// the folders of the user's surveys would stay there for any of them to read.
// The program keeps nothing of the dialog: Qt's settings are pointed inside a
// device file, where no folder can ever be made (not even by root), so that
// both the reading and the writing find nothing and leave nothing. The program
// has no settings of its own that this could hide.
void keepQtSettingsOffDisk() {
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null"));
}

} // namespace

void TSaveDialog::configure(QFileDialog& dialog) const {
    dialog.setObjectName(QStringLiteral("SaveDialog1"));
    // Qt's own dialog, so that title, filter and default extension behave the
    // same on every desktop; the question before replacing a file is ours.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setProxyModel(new SpanishDates(&dialog));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setWindowTitle(Title);
    dialog.setDefaultSuffix(DefaultExt);
    dialog.setNameFilter(Filter);
    dialog.selectFile(FileName);
    showColumnsWhole(dialog);
}

bool TSaveDialog::Execute(QWidget* parent) {
    keepQtSettingsOffDisk(); // before the dialog is made: it reads them as it starts
    ConfirmingFileDialog dialog(parent, OverwritePrompt);
    configure(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return false;
    FileName = chosen.first();
    return true;
}
