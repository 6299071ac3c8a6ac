#pragma once

#include "app/SendEngine.h"

#include <QDialog>
#include <QString>

#include <memory>
#include <optional>
#include <string>

namespace cto {

namespace Ui {
class TFContrasenaAlmacen;
}

// Asks for the password of a protected certificate database or the PIN of a
// token. After a wrong answer, and when the token has few tries left, it says
// so above the buttons.
class TFContrasenaAlmacen : public QDialog {
    Q_OBJECT

public:
    explicit TFContrasenaAlmacen(const PasswordRequest& request, QWidget* owner = nullptr);
    ~TFContrasenaAlmacen() override;

    QString contrasena() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    // The warning in its red, lightened or darkened as far as the dialog's
    // background needs for the red to stay readable.
    void colourWarning();

    std::unique_ptr<Ui::TFContrasenaAlmacen> ui_;
};

// The certificate store's password prompt: nothing when the user cancels.
std::optional<std::string> askStorePassword(const PasswordRequest& request);

} // namespace cto
