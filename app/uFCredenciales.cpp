#include "app/uFCredenciales.h"

#include "app/DialogLook.h"
#include "ui_FCredenciales.h"

namespace cto {

TFCredenciales::TFCredenciales(bool proxy, const QString& realm, QWidget* owner)
    : QDialog(owner, kDialogWindowFlags), ui_(std::make_unique<Ui::TFCredenciales>()) {
    setUpPrompt(this, *ui_, owner);
    QString explanation =
        proxy ? tr("El servidor proxy pide un usuario y una contraseña para dejar pasar el envío.")
              : tr("El servidor de la oficina pide un usuario y una contraseña para aceptar el envío.");
    if (!realm.isEmpty())
        explanation += QLatin1Char(' ') + tr("Ámbito: «%1».").arg(realm);
    ui_->lExplicacion->setText(explanation);
}

TFCredenciales::~TFCredenciales() = default;

QString TFCredenciales::usuario() const {
    return ui_->eUsuario->text();
}

QString TFCredenciales::contrasena() const {
    return ui_->eContrasena->text();
}

std::optional<Credentials> askCredentials(bool proxy, const std::string& realm) {
    TFCredenciales dialog(proxy, QString::fromStdString(realm), frontWindow());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return Credentials{dialog.usuario().toStdString(), dialog.contrasena().toStdString()};
}

} // namespace cto
