#include "app/startup/ShownProbe.h"
#include "app/windows/EndingSignals.h"
#include "app/windows/QtSpanishTexts.h"
#include "app/windows/uFConexionTulvaOskel.h"
#include "app/windows/uFSeleccionCertificado.h"
#include "common/DescriptorRoom.h"
#include "common/Exception.h"
#include "common/ProcessHardening.h"
#include "common/SystemErrorText.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

// GnuTLS reaches this process only with the send engine, as a dependency of
// libcurl's RTMP and LDAP back-ends, which it never uses (its TLS is
// OpenSSL). Its implicit set-up in the library's constructor (crypto back-ends, PKCS#11 modules) would cost
// every start a few milliseconds and some 5 MiB; GnuTLS's own opt-out
// (GNUTLS_SKIP_GLOBAL_INIT) leaves it to gnutls_global_init, which those
// back-ends call before any use. The program exports this one symbol
// (program-exports.list) so that GnuTLS finds it.
extern "C" __attribute__((visibility("default"))) int _gnutls_global_init_skip(void) {
    return 1;
}

int main(int argc, char* argv[]) {
    cto::keepSecretsInMemoryOnly();
    cto::failWritesPastTheFileSizeLimit();
    cto::makeRoomForDescriptors();
    try {
        cto::checkRoomForDescriptors(cto::kDescriptorsTheWindowsNeed);
    } catch (const cto::Exception& failure) {
        // No window could show it: the caller finds no response file, and
        // whoever reads the program's errors, why.
        std::fprintf(stderr, "%s\n", cto::failureMessage(failure).c_str());
        return 0;
    }
    // libcurl would open the file it names for the TLS secrets (the engine
    // never writes them, see the transport's TLS policy); still one thread here.
    ::unsetenv("SSLKEYLOGFILE");
    cto::speakSpanishInSystemTexts();
    QApplication application(argc, argv);
    cto::installQtSpanishTexts(application);
    TFConexionTulvaOskel mainWindow;
    // Qt has taken its own options out of argv by now; the name stays bytes.
    if (argc > 1)
        mainWindow.setSurveyName(argv[1]);
    cto::setCertificateDialogMaker([&mainWindow] {
        auto* dialog = new cto::TFSeleccionCertificado(&mainWindow); // hidden; the window owns it
        cto::exitWhenShownIfAsked(*dialog, cto::ShownWindow::CertificateDialog);
        return dialog;
    });
    cto::exitWhenShownIfAsked(mainWindow, cto::ShownWindow::Main);
    const cto::EndingSignals endingSignals([&mainWindow] { mainWindow.endForSignal(); });
    mainWindow.show();
    application.exec();
    // The response file is the run's result for the caller; the status never varies.
    return 0;
}
