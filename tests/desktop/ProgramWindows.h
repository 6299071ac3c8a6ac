#pragma once

#include "certificates/TestNssDatabase.h"

#include "app/windows/uFConexionTulvaOskel.h"
#include "app/windows/uFContrasenaAlmacen.h"
#include "app/windows/uFCredenciales.h"
#include "app/windows/uFSeleccionCertificado.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <memory>

namespace cto::test {

// The windows the program shows, by name, for tables of cases.
inline const QStringList kWindowNames = {"main", "certificates", "password", "pin", "credentials"};

// A table of cases with a column "window": one row for each window.
inline void addWindowRows() {
    QTest::addColumn<QString>("window");
    for (const QString& window : kWindowNames)
        QTest::newRow(qPrintable(window)) << window;
}

// One window as the program builds it. The main window runs no workflow; the
// password dialog shows its warning, the PIN prompt its longest one; the
// certificate dialog lists the store
// that CTO_NSS_DATABASE names when it is shown.
inline std::unique_ptr<QWidget> buildWindow(const QString& name) {
    if (name == QLatin1String("main")) {
        auto window = std::make_unique<TFConexionTulvaOskel>();
        window->detachActivationHandler();
        for (int line = 1; line <= 5; ++line)
            window->appendLog(QStringLiteral("Línea %1 del registro").arg(line));
        return window;
    }
    if (name == QLatin1String("certificates"))
        return std::make_unique<TFSeleccionCertificado>();
    if (name == QLatin1String("password"))
        return std::make_unique<TFContrasenaAlmacen>(
            PasswordRequest{QStringLiteral("NSS Certificate DB"), false, true});
    if (name == QLatin1String("pin"))
        return std::make_unique<TFContrasenaAlmacen>(
            PasswordRequest{QStringLiteral("Tarjeta Prueba"), true, true, PasswordRequest::TriesLeft::Last});
    if (name == QLatin1String("credentials"))
        return std::make_unique<TFCredenciales>(CredentialsRequest{false, "Encuestas", false});
    qFatal("no window %s", qPrintable(name));
}

// A store of test certificates for the certificate dialog to list, named by
// CTO_NSS_DATABASE for the rest of the test program.
class TestCertificateStore {
public:
    TestCertificateStore() {
        const QString database = folder_.filePath(QStringLiteral("nssdb"));
        makeTestNssDatabase({database});
        qputenv("CTO_NSS_DATABASE", database.toUtf8());
    }

private:
    QTemporaryDir folder_;
};

} // namespace cto::test
