#include "app/windows/uFCredenciales.h"

#include "app/windows/look/DialogLook.h"
#include "ui_FCredenciales.h"

namespace cto {

namespace {

// A realm long enough to push the fields out of the dialog is cut; line breaks
// and other control characters would make it look like the program's lines.
QString realmAsShown(const QString& realm) {
    constexpr qsizetype kLongestRealm = 100;
    QString shown;
    for (const QChar c : realm)
        shown +=
            c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ? QChar(u' ') : c;
    shown = shown.simplified();
    return shown.size() > kLongestRealm ? shown.left(kLongestRealm) + QChar(u'…') : shown;
}

} // namespace

TFCredenciales::TFCredenciales(const CredentialsRequest& request, QWidget* owner)
    : QDialog(owner, kDialogWindowFlags), ui_(std::make_unique<Ui::TFCredenciales>()) {
    setUpPrompt(this, *ui_, owner);
    const bool proxy = request.proxy;
    QString explanation;
    if (request.refused)
        explanation = proxy ? tr("El proxy no aceptó el usuario o la contraseña. Escríbalos de nuevo.")
                            : tr("La oficina no aceptó el usuario o la contraseña. Escríbalos de nuevo.");
    else
        explanation =
            proxy ? tr("El servidor proxy pide un usuario y una contraseña para dejar pasar el envío.")
                  : tr("El servidor de la oficina pide un usuario y una contraseña para aceptar el envío.");
    ui_->lExplicacion->setText(explanation);
    // The realm is the asker's own words, and nothing vouches for a proxy's:
    // it stands apart, quoted, so that it cannot pass for the program's request.
    const QString realm = realmAsShown(QString::fromStdString(request.realm));
    ui_->lPalabrasDelServidor->setVisible(!realm.isEmpty());
    if (!realm.isEmpty())
        ui_->lPalabrasDelServidor->setText(proxy ? tr("El proxy dice de sí mismo: «%1»").arg(realm)
                                                 : tr("El servidor dice de sí mismo: «%1»").arg(realm));
}

TFCredenciales::~TFCredenciales() = default;

QString TFCredenciales::usuario() const {
    return ui_->eUsuario->text();
}

QString TFCredenciales::contrasena() const {
    return ui_->eContrasena->text();
}

std::optional<Credentials> askCredentials(const CredentialsRequest& request) {
    TFCredenciales dialog(request, frontWindow());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return Credentials{dialog.usuario().toStdString(), dialog.contrasena().toStdString()};
}

} // namespace cto
