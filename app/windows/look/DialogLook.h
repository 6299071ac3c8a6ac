#pragma once

#include <QDialog>
#include <QString>
#include <Qt>

class QLabel;
class QPushButton;
class QWidget;

namespace cto {

// A dialog border: a title bar with a close box, no minimise or maximise box.
inline constexpr Qt::WindowFlags kDialogWindowFlags = Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint |
                                                      Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                                      Qt::WindowCloseButtonHint;

// The header band as every window shows it: the title white in the title
// face, and the band's image (the label named "icono" beside the title)
// drawn sharp for its screen from `imagePath` and left out of what a screen
// reader speaks: it is decoration, the title says it all.
void decorateHeaderBand(QLabel* title, const QString& imagePath);

// Finishes a dialog built from its .ui file: held at its designed size, the
// form face, a selection legible on every palette, the header band with the certificate icon, and Aceptar and
// Cancelar in the buttons' face with a hand cursor, a green tick and a red
// cross, and a ring that shows which of them has the keyboard focus.
void finishDialogLook(QDialog* dialog, QLabel* title, QPushButton* aceptar, QPushButton* cancelar);

// The same for a prompt, whose Aceptar accepts and Cancelar rejects.
void finishPromptLook(QDialog* dialog, QLabel* title, QPushButton* aceptar, QPushButton* cancelar);

// Places the dialog's client area at the centre of the owner window's. Qt's
// own placement guesses the frame where no window manager reports one.
void centreOver(QWidget* dialog, const QWidget* owner);

// The window a prompt raised from deep inside a run should sit over: the modal
// window in front, else the active window.
QWidget* frontWindow();

// Registers the dialogs' images; the library is static, so its resources are
// not registered by themselves. Safe to call more than once.
void initDialogResources();

// Builds a prompt from its form (a header band with Label18, Aceptar and
// Cancelar), with the prompt's look, centred over its owner.
template <typename Form> void setUpPrompt(QDialog* dialog, Form& form, QWidget* owner) {
    initDialogResources();
    form.setupUi(dialog);
    finishPromptLook(dialog, form.Label18, form.bbAceptar, form.bbCancelar);
    centreOver(dialog, owner);
}

} // namespace cto
