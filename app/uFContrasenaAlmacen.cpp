#include "app/uFContrasenaAlmacen.h"

#include "app/Contrast.h"
#include "app/DialogLook.h"
#include "ui_FContrasenaAlmacen.h"

#include <QEvent>

namespace cto {

TFContrasenaAlmacen::TFContrasenaAlmacen(const QString& tokenName, bool retry, QWidget* owner)
    : QDialog(owner, kDialogWindowFlags), ui_(std::make_unique<Ui::TFContrasenaAlmacen>()) {
    setUpPrompt(this, *ui_, owner);
    // NSS's own name for a database is no help to the user; a token's (a smart card's) is.
    const QString store = tokenName.isEmpty() || tokenName.startsWith(QLatin1String("NSS "))
                              ? tr("Su almacén de certificados")
                              : tr("El almacén de certificados «%1»").arg(tokenName);
    ui_->lExplicacion->setText(
        tr("%1 está protegido con una contraseña. Escríbala para poder usar el certificado elegido.")
            .arg(store));
    ui_->lAviso->setVisible(retry);
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

std::optional<std::string> askStorePassword(const QString& tokenName, bool retry) {
    TFContrasenaAlmacen dialog(tokenName, retry, frontWindow());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.contrasena().toStdString();
}

} // namespace cto
