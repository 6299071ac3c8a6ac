#include "app/uFContrasenaAlmacen.h"

#include "app/DialogLook.h"
#include "ui_FContrasenaAlmacen.h"

namespace cto {

TFContrasenaAlmacen::TFContrasenaAlmacen(const QString& tokenName, bool retry, QWidget* owner)
    : QDialog(owner, kDialogWindowFlags),
      ui_(std::make_unique<Ui::TFContrasenaAlmacen>()) {
    initDialogResources();
    ui_->setupUi(this);
    finishPromptLook(this, ui_->Label18, ui_->bbAceptar, ui_->bbCancelar);
    ui_->lExplicacion->setText(
        tr("Los certificados del almacén «%1» están protegidos con una contraseña. "
           "Escríbala para poder usar el certificado elegido.")
            .arg(tokenName));
    ui_->lAviso->setVisible(retry);
}

TFContrasenaAlmacen::~TFContrasenaAlmacen() = default;

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
