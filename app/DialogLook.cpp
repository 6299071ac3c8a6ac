#include "app/DialogLook.h"

#include "app/MainResources.h"
#include "app/WindowFonts.h"

#include <QApplication>
#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace cto {

void decorateHeaderTitle(QLabel* title) {
    title->setFont(headerTitleFont());
    QPalette palette = title->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    title->setPalette(palette);
}

void finishDialogLook(QDialog* dialog, QLabel* title, QPushButton* aceptar, QPushButton* cancelar) {
    dialog->setFixedSize(dialog->size());
    dialog->setFont(formFont());
    decorateHeaderTitle(title);

    for (QPushButton* button : {aceptar, cancelar}) {
        button->setFont(buttonFont());
        button->setCursor(Qt::PointingHandCursor);
        button->setIconSize(QSize(22, 22));
    }
    aceptar->setIcon(QIcon(QStringLiteral(":/images/tick.png")));
    cancelar->setIcon(QIcon(QStringLiteral(":/images/cross.png")));
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
