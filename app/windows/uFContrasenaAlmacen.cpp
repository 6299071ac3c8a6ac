#include "app/windows/uFContrasenaAlmacen.h"

#include "app/windows/look/Contrast.h"
#include "app/windows/look/DialogLook.h"
#include "ui_FContrasenaAlmacen.h"

#include <QEvent>

namespace cto {

namespace {

QString explanationFor(const PasswordRequest& request) {
    const QString& name = request.storeName;
    if (request.token)
        return QObject::tr("La tarjeta «%1» está protegida con un PIN. Escríbalo para poder usar el "
                           "certificado elegido.")
            .arg(name);
    // NSS's own name for a database is no help to the user.
    const QString store = name.isEmpty() || name.startsWith(QLatin1String("NSS "))
                              ? QObject::tr("Su almacén de certificados")
                              : QObject::tr("El almacén de certificados «%1»").arg(name);
    return QObject::tr(
               "%1 está protegido con una contraseña. Escríbala para poder usar el certificado elegido.")
        .arg(store);
}

QString warningFor(const PasswordRequest& request) {
    QStringList lines;
    if (request.retry)
        lines << (request.token ? QObject::tr("El PIN no es correcto. Escríbalo de nuevo.")
                                : QObject::tr("La contraseña no es correcta. Escríbala de nuevo."));
    if (request.triesLeft == PasswordRequest::TriesLeft::Few)
        lines << QObject::tr("Quedan pocos intentos antes de que la tarjeta se bloquee.");
    else if (request.triesLeft == PasswordRequest::TriesLeft::Last)
        lines << QObject::tr("Último intento: si el PIN falla, la tarjeta se bloqueará.");
    return lines.join(QLatin1Char('\n'));
}

} // namespace

TFContrasenaAlmacen::TFContrasenaAlmacen(const PasswordRequest& request, QWidget* owner)
    : QDialog(owner, kDialogWindowFlags), ui_(std::make_unique<Ui::TFContrasenaAlmacen>()) {
    setUpPrompt(this, *ui_, owner);
    ui_->lExplicacion->setText(explanationFor(request));
    if (request.token) {
        // Named in the title too: the desktop's window list shows which card asks.
        setWindowTitle(tr("PIN de la tarjeta «%1»").arg(request.storeName));
        ui_->Label18->setText(tr("PIN DE LA TARJETA"));
        ui_->lContrasena->setText(tr("&PIN:"));
    }
    const QString warning = warningFor(request);
    ui_->lAviso->setText(warning);
    ui_->lAviso->setVisible(!warning.isEmpty());
    colourWarning();
}

TFContrasenaAlmacen::~TFContrasenaAlmacen() = default;

void TFContrasenaAlmacen::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // A new palette (the desktop turned dark, say) needs the warning's colour found again.
    if (event->type() == QEvent::PaletteChange)
        colourWarning();
}

void TFContrasenaAlmacen::colourWarning() {
    const QColor warningRed(0xb0, 0x1e, 0x23);
    QPalette palette = ui_->lAviso->palette();
    palette.setColor(QPalette::WindowText, legibleOn(warningRed, this->palette().color(backgroundRole())));
    ui_->lAviso->setPalette(palette);
}

QString TFContrasenaAlmacen::contrasena() const {
    return ui_->eContrasena->text();
}

std::optional<std::string> askStorePassword(const PasswordRequest& request) {
    TFContrasenaAlmacen dialog(request, frontWindow());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.contrasena().toStdString();
}

} // namespace cto
