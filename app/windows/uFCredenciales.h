#pragma once

#include "common/Credentials.h"

#include <QDialog>
#include <QString>

#include <memory>
#include <optional>
#include <string>

namespace cto {

namespace Ui {
class TFCredenciales;
}

// Asks for a user name and password when the office's server (401) or a
// proxy (407) wants them, saying when the last ones were refused.
class TFCredenciales : public QDialog {
    Q_OBJECT

public:
    TFCredenciales(const CredentialsRequest& request, QWidget* owner = nullptr);
    ~TFCredenciales() override;

    QString usuario() const;
    QString contrasena() const;

private:
    std::unique_ptr<Ui::TFCredenciales> ui_;
};

// The transport's credentials prompt: nothing when the user cancels.
std::optional<Credentials> askCredentials(const CredentialsRequest& request);

} // namespace cto
