// The main window's pure parts: the header band's stripe table, the response
// file's name and the check made before sending, the outcome message and the
// save dialog's settings.
#include "ModalDriver.h"
#include "app/engine/EmptyAnswer.h"
#include "app/engine/OutcomeReport.h"
#include "app/windows/ResponseFile.h"
#include "app/windows/TSaveDialog.h"
#include "app/windows/look/GradientHeaderPanel.h"
#include "common/FailureKinds.h"
#include "common/FileStream.h"
#include "response/ResponseExtraction.h"
#include "support/ExpectFailure.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTest>

#include <set>

using cto::GradientStripe;

class TestAppParts : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void stripeTable_data();
    void stripeTable();
    void stripesCoverTheBandOnce_data();
    void stripesCoverTheBandOnce();

    void responseStem_data();
    void responseStem();
    void responsePathIsBesideTheExecutable();
    void responseFileThatCannotBeCreated_data();
    void responseFileThatCannotBeCreated();
    void responseFileThatCanBeCreatedIsLeftAlone();

    void outcomeMessage_data();
    void outcomeMessage();

    // Before any other file dialog of this process: Qt reads where its settings go only once.
    void saveDialogRemembersNothing();
    void saveDialogSettings();

private:
    QTemporaryDir home_; // HOME and XDG_CONFIG_HOME of the whole suite
};

void TestAppParts::initTestCase() {
    QVERIFY(home_.isValid());
    qputenv("HOME", QFile::encodeName(home_.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_.filePath(QStringLiteral(".config"))));
}

void TestAppParts::stripeTable_data() {
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("bottom");
    QTest::addColumn<QColor>("color");

    // The band as the windows have it: 41 rows, 41 stripes of one row.
    QTest::newRow("41 first") << 41 << 0 << 0 << 1 << QColor(0, 62, 164);
    QTest::newRow("41 middle") << 41 << 20 << 20 << 21 << QColor(8, 83, 208);        // 8.29, 83.46, 208.39
    QTest::newRow("41 second last") << 41 << 39 << 39 << 40 << QColor(16, 104, 251); // 16.17, 103.85, 250.56
    QTest::newRow("41 last") << 41 << 40 << 40 << 41 << QColor(17, 105, 253); // never the end colour itself
    // Halves go to the even neighbour, in bounds and in colours.
    QTest::newRow("2: 8.5 and 209.5") << 2 << 1 << 1 << 2 << QColor(8, 84, 210);
    QTest::newRow("150: 1.5 up to 2") << 150 << 1 << 2 << 3 << QColor(0, 62, 165); // 1.5->2, 3, 164.91
    QTest::newRow("150: 4.5 down to 4")
        << 150 << 3 << 4 << 6 << QColor(1, 63, 167); // 4.5->4, 6, 0.51, 63.32, 166.73
    QTest::newRow("150: 7.5 up to 8")
        << 150 << 5 << 8 << 9 << QColor(1, 64, 169); // 7.5->8, 9, 0.85, 64.2, 168.55
    QTest::newRow("150: 10.5 down to 10")
        << 150 << 7 << 10 << 12 << QColor(1, 65, 170); // 1.19, 65.08, 170.37
    // More than 100 rows: 100 stripes, colours in hundredths.
    QTest::newRow("200: stripe 50") << 200 << 50 << 100 << 102
                                    << QColor(8, 84, 210); // 8.5->8, 84, 209.5->210
    QTest::newRow("1 row") << 1 << 0 << 0 << 1 << QColor(0, 62, 164);
}

void TestAppParts::stripeTable() {
    QFETCH(int, height);
    QFETCH(int, index);
    QFETCH(int, top);
    QFETCH(int, bottom);
    QFETCH(QColor, color);
    const std::vector<GradientStripe> stripes = cto::gradientStripes(height);
    QVERIFY(index < static_cast<int>(stripes.size()));
    const GradientStripe& stripe = stripes[static_cast<std::size_t>(index)];
    QCOMPARE(stripe.top, top);
    QCOMPARE(stripe.bottom, bottom);
    QCOMPARE(stripe.color, color);
}

void TestAppParts::stripesCoverTheBandOnce_data() {
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("count");
    QTest::newRow("none") << 0 << 0;
    QTest::newRow("negative") << -3 << 0;
    QTest::newRow("band") << 41 << 41;
    QTest::newRow("100") << 100 << 100;
    QTest::newRow("150") << 150 << 100;
    QTest::newRow("333") << 333 << 100;
}

void TestAppParts::stripesCoverTheBandOnce() {
    QFETCH(int, height);
    QFETCH(int, count);
    const std::vector<GradientStripe> stripes = cto::gradientStripes(height);
    QCOMPARE(static_cast<int>(stripes.size()), count);
    int next = 0;
    for (const GradientStripe& stripe : stripes) {
        QCOMPARE(stripe.top, next);
        QVERIFY(stripe.bottom >= stripe.top);
        next = stripe.bottom;
    }
    if (count > 0)
        QCOMPARE(next, height);
}

void TestAppParts::responseStem_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("stem");
    QTest::newRow("bare name") << "encuesta.xml"
                               << "encuesta";
    QTest::newRow("sub-folder") << "datos/encuesta.xml"
                                << "datos/encuesta";
    QTest::newRow("no extension") << "encuesta"
                                  << "encu";
    QTest::newRow("four characters") << "a.xm"
                                     << "";
    QTest::newRow("fewer than four") << "ab"
                                     << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("accents") << QStringLiteral("ñandú.xml") << QStringLiteral("ñandú");
    // L counts UTF-16 units, the characters kept are code points: 8 units, 4 code points kept.
    QTest::newRow("surrogate pairs") << QStringLiteral("\U0001F600\U0001F600.xml")
                                     << QStringLiteral("\U0001F600\U0001F600.x");
    QTest::newRow("pair at the cut") << QStringLiteral("ab\U0001F600cd") << QStringLiteral("ab");
}

void TestAppParts::responseStem() {
    QFETCH(QString, argument);
    QFETCH(QString, stem);
    QCOMPARE(cto::responseStem(argument), stem);
}

void TestAppParts::responsePathIsBesideTheExecutable() {
    QCOMPARE(cto::responsePath(QStringLiteral("/opt/cto"), QStringLiteral("encuesta.xml")),
             std::string("/opt/cto/encuesta-response.xml"));
    QCOMPARE(cto::responsePath(QStringLiteral("/opt/cto/"), QStringLiteral("x")),
             std::string("/opt/cto/-response.xml"));
    // The survey may live anywhere; its receipt stays beside the program.
    QCOMPARE(cto::responsePath(QStringLiteral("/opt/cto"), QStringLiteral("datos/año.xml")),
             std::string("/opt/cto/a\xC3\xB1o-response.xml"));
    QCOMPARE(cto::responsePath(QStringLiteral("/opt/cto"), QStringLiteral("../encuesta.xml")),
             std::string("/opt/cto/encuesta-response.xml"));
    QCOMPARE(cto::responsePath(QStringLiteral("/opt/cto"), QStringLiteral("../../x/victim.xml")),
             std::string("/opt/cto/victim-response.xml"));
}

void TestAppParts::responseFileThatCannotBeCreated_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("reason");
    QTest::newRow("absolute argument") << "/tmp/encuesta.xml"
                                       << "Argumento inválido";
    QTest::newRow("name taken by a folder") << "ocupado.xml"
                                            << "Es un directorio";
}

void TestAppParts::responseFileThatCannotBeCreated() {
    QFETCH(QString, argument);
    QFETCH(QString, reason);
    QTemporaryDir folder;
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("ocupado-response.xml")));
    QFile plain(folder.filePath(QStringLiteral("fichero")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();

    const std::string path = cto::responsePath(folder.path(), argument);
    const QString shown = QString::fromStdString(cto::expandFileName(path));
    CTO_COMPARE_FAILURE(cto::EFCreateError, cto::checkResponseFileCanBeCreated(path, argument),
                        QStringLiteral("Cannot create file \"%1\". %2").arg(shown, reason));
}

void TestAppParts::responseFileThatCanBeCreatedIsLeftAlone() {
    QTemporaryDir folder;
    const std::string fresh = cto::responsePath(folder.path(), QStringLiteral("nueva.xml"));
    cto::checkResponseFileCanBeCreated(fresh, QStringLiteral("nueva.xml"));
    QVERIFY(!QFile::exists(QString::fromStdString(fresh)));

    // A response of an earlier run stays as it was until the new one arrives.
    const std::string earlier = cto::responsePath(folder.path(), QStringLiteral("vieja.xml"));
    cto::writeWholeFile(earlier, "anterior");
    cto::checkResponseFileCanBeCreated(earlier, QStringLiteral("vieja.xml"));
    QCOMPARE(cto::readWholeFile(earlier), std::string("anterior"));
}

void TestAppParts::outcomeMessage_data() {
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("fileName");

    const QByteArray open = "<RespuestaSolicitudEncuesta xmlns=\"RespuestaSolicitud.xsd\">";
    const QByteArray close = "</RespuestaSolicitudEncuesta>";
    const QString accepted =
        QStringLiteral(" ha sido procesada correctamente con el siguiente resguardo de envio:");
    const QString saveReceipt = QStringLiteral("\rSe procederá a guardar el resguardo a continuación.");
    const QString rejected =
        QStringLiteral(" ha sido procesada con errores.  Corrijalos y realize de nuevo el envío.\r"
                       "Se procederá a guardar los errores a continuación.");

    QTest::newRow("test receipt")
        << QByteArray(cto::kTestReceipt.data(), static_cast<qsizetype>(cto::kTestReceipt.size()))
        << QStringLiteral("La encuesta con Numero de Orden: EncuestaDePrueba y Código de Control: Prueba") +
               accepted + QStringLiteral("Encuesta de prueba OK") + saveReceipt
        << "EncuestaDePrueba.xml";
    QTest::newRow("accented receipt")
        << open +
               "<NumeroOrden>2026/77</NumeroOrden><CodigoControl>ÑX-1</CodigoControl>"
               "<AcuseEnvio>Recibida el 1 de julio</AcuseEnvio>" +
               close
        << QStringLiteral("La encuesta con Numero de Orden: 2026/77 y Código de Control: ÑX-1") + accepted +
               QStringLiteral("Recibida el 1 de julio") + saveReceipt
        << "202677.xml";
    // The order number is the server's word: it names no other folder and
    // holds no control characters.
    QTest::newRow("order number with a path and control characters")
        << open +
               "<NumeroOrden>../../.bashrc\t\\x&#x7F;</NumeroOrden><CodigoControl>C</CodigoControl>"
               "<AcuseEnvio/>" +
               close
        << QStringLiteral(
               "La encuesta con Numero de Orden: ../../.bashrc\t\\x\u007F y Código de Control: C") +
               accepted + saveReceipt
        << ".....bashrcx.xml";
    const QByteArray longOrder(300, '7');
    QTest::newRow("order number too long for a file name")
        << open + "<NumeroOrden>" + longOrder +
               "</NumeroOrden><CodigoControl>C</CodigoControl><AcuseEnvio/>" + close
        << QStringLiteral("La encuesta con Numero de Orden: ") + QString::fromLatin1(longOrder) +
               QStringLiteral(" y Código de Control: C") + accepted + saveReceipt
        << ".xml";
    QTest::newRow("empty acknowledgement adds nothing")
        << open + "<NumeroOrden>7</NumeroOrden><CodigoControl>C</CodigoControl><AcuseEnvio/>" + close
        << QStringLiteral("La encuesta con Numero de Orden: 7 y Código de Control: C") + accepted +
               saveReceipt
        << "7.xml";
    QTest::newRow("two errors, acknowledgement ignored")
        << open +
               "<NumeroOrden>8</NumeroOrden><CodigoControl>K</CodigoControl><AcuseEnvio>OK</AcuseEnvio>"
               "<Errores><Numero>2</Numero>"
               "<Error><TipoError>1</TipoError><LineaError>3</LineaError><DescripcionError>a</"
               "DescripcionError></Error>"
               "<Error><TipoError>2</TipoError><LineaError>9</LineaError><DescripcionError>b</"
               "DescripcionError></Error>"
               "</Errores>" +
               close
        << QStringLiteral("La encuesta con Numero de Orden: 8 y Código de Control: K") + rejected << "8.xml";
    QTest::newRow("Errores without items counts as none")
        << open +
               "<NumeroOrden>9</NumeroOrden><CodigoControl>K</CodigoControl><AcuseEnvio>OK</AcuseEnvio>"
               "<Errores><Numero>0</Numero></Errores>" +
               close
        << QStringLiteral("La encuesta con Numero de Orden: 9 y Código de Control: K") + accepted +
               QStringLiteral("OK") + saveReceipt
        << "9.xml";
    QTest::newRow("missing order number leaves two blanks")
        << open +
               "<CodigoControl>K</CodigoControl><Errores><Error><TipoError>1</TipoError></Error></Errores>" +
               close
        << QStringLiteral("La encuesta con Numero de Orden:  y Código de Control: K") + rejected << ".xml";
}

void TestAppParts::outcomeMessage() {
    QFETCH(QByteArray, response);
    QFETCH(QString, message);
    QFETCH(QString, fileName);
    // As the program reads them: on the way through the answer.
    cto::MemoryStream answer(response.toStdString());
    cto::MemoryStream element;
    cto::MemoryStream spool;
    const cto::ResponseSummary summary = cto::extractResponse(answer, element, spool);
    QCOMPARE(cto::outcomeMessage(summary), message);
    QCOMPARE(cto::proposedFileName(summary), QStringLiteral("Envio") + fileName);
}

// The save dialog, run as the program runs it, leaves no trace of the folders
// it showed in Qt's shared settings (~/.config/QtProject.conf).
void TestAppParts::saveDialogRemembersNothing() {
    QTemporaryDir surveys;
    const QString chosen = surveys.filePath(QStringLiteral("EnvioA1.xml"));
    cto::test::onNextModal<QFileDialog>([&](QFileDialog* dialog) {
        dialog->selectFile(chosen);
        static_cast<QDialog*>(dialog)->accept();
    });
    TSaveDialog settings;
    settings.Title = QStringLiteral("Guardar resultados del envio");
    settings.Filter = QStringLiteral("*.xml");
    settings.FileName = QStringLiteral("EnvioA1.xml");
    QVERIFY(settings.Execute(nullptr));
    QCOMPARE(settings.FileName, chosen);
    QVERIFY(!QFile::exists(home_.filePath(QStringLiteral(".config/QtProject.conf"))));
    QCOMPARE(QDir(home_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
}

void TestAppParts::saveDialogSettings() {
    TSaveDialog settings;
    settings.Title = QStringLiteral("Guardar resultados del envio");
    settings.DefaultExt = QStringLiteral("txt");
    settings.Filter = QStringLiteral("*.xml");
    settings.FileName = QStringLiteral("EnvioA1.xml");
    QFileDialog dialog;
    settings.configure(dialog);
    QCOMPARE(dialog.windowTitle(), settings.Title);
    QCOMPARE(dialog.defaultSuffix(), QStringLiteral("txt"));
    QCOMPARE(dialog.nameFilters(), QStringList{QStringLiteral("*.xml")});
    QCOMPARE(dialog.acceptMode(), QFileDialog::AcceptSave);
    QVERIFY(dialog.testOption(QFileDialog::DontUseNativeDialog));
    QVERIFY(dialog.testOption(QFileDialog::DontConfirmOverwrite));
    QCOMPARE(QFileInfo(dialog.selectedFiles().value(0)).fileName(), QStringLiteral("EnvioA1.xml"));
}

CTO_TEST_MAIN(TestAppParts)
#include "tst_app_parts.moc"
