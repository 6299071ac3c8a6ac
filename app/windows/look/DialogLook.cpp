#include "app/windows/look/DialogLook.h"

#include "app/windows/look/FocusRing.h"
#include "app/windows/look/LegibleSelection.h"
#include "app/windows/look/MainResources.h"
#include "app/windows/look/SharpIcon.h"
#include "app/windows/look/SharpLabelImage.h"
#include "app/windows/look/WindowFonts.h"

#include <QApplication>
#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace cto {

void decorateHeaderBand(QLabel* title, const QString& imagePath) {
    title->setFont(headerTitleFont());
    QPalette palette = title->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    title->setPalette(palette);

    auto* image =
        title->parentWidget()->findChild<QLabel*>(QStringLiteral("icono"), Qt::FindDirectChildrenOnly);
    if (!image)
        return;
    showSharpImage(image, imagePath);
    // Decoration, for AT-SPI: an image with no name and no description that
    // never takes the focus. Qt's bridge has no role that says "decoration"
    // (nothing maps to a presentation or redundant object), and a described
    // image would be read out, the opposite of what decoration wants; an
    // unnamed image that is never focused is what screen readers pass over.
    image->setFocusPolicy(Qt::NoFocus);
    image->setAccessibleName(QString());
    image->setAccessibleDescription(QString());
    image->setToolTip(QString());
}

void finishDialogLook(QDialog* dialog, QLabel* title, QPushButton* aceptar, QPushButton* cancelar) {
    dialog->setFixedSize(dialog->size());
    dialog->setFont(formFont());
    keepSelectionLegible(dialog);
    decorateHeaderBand(title, QStringLiteral(":/certificates/certificate.png"));

    for (QPushButton* button : {aceptar, cancelar}) {
        button->setFont(buttonFont());
        button->setCursor(Qt::PointingHandCursor);
        button->setIconSize(QSize(22, 22));
        showKeyboardFocus(button);
    }
    aceptar->setIcon(sharpIcon(QStringLiteral(":/images/tick.png")));
    cancelar->setIcon(sharpIcon(QStringLiteral(":/images/cross.png")));
}

void finishPromptLook(QDialog* dialog, QLabel* title, QPushButton* aceptar, QPushButton* cancelar) {
    finishDialogLook(dialog, title, aceptar, cancelar);
    QObject::connect(aceptar, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancelar, &QPushButton::clicked, dialog, &QDialog::reject);
}

void centreOver(QWidget* dialog, const QWidget* owner) {
    if (owner && owner->isVisible())
        dialog->move(owner->window()->geometry().center() - dialog->rect().center());
    else if (const QScreen* screen = dialog->screen())
        dialog->move(screen->availableGeometry().center() - dialog->rect().center());
}

QWidget* frontWindow() {
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget* active = QApplication::activeWindow())
        return active;
    // Between two modal windows none may be active yet: take a window on screen.
    const QWidgetList windows = QApplication::topLevelWidgets();
    const auto shown = std::find_if(windows.begin(), windows.end(), [](const QWidget* window) {
        return window->isVisible() && !(window->windowFlags() & Qt::Popup);
    });
    return shown != windows.end() ? *shown : nullptr;
}

} // namespace cto

// Q_INIT_RESOURCE names a function at global scope.
static void initCertificatesQrc() {
    Q_INIT_RESOURCE(certificates);
}

void cto::initDialogResources() {
    initCertificatesQrc();
    initMainResources(); // the tick and the cross
}
