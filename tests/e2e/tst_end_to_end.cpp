// The whole run as a user makes it: the real program on an X server with no
// window manager, the simulated office demanding a client certificate, a test
// NSS database as the user's store (with a simulated smart card in the second
// run), and every window answered from the keyboard with xdotool once it
// holds the focus. The first run is also read as a screen reader reads it,
// through AT-SPI.
#include "support/AtSpiSession.h"
#include "support/OfficeDesktop.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <utility>

using cto::test::AccessibleEvent;
using cto::test::AccessibleNode;
using cto::test::AtSpiSession;
using cto::test::contentOf;

namespace {

// A window's objects as text, for a failure's message.
QString described(const QList<AccessibleNode>& nodes) {
    QStringList lines;
    for (const AccessibleNode& node : nodes)
        lines << QString(node.depth * 2, QLatin1Char(' ')) + node.role + QStringLiteral(" «") + node.name +
                     QStringLiteral("» ") +
                     QString(node.description).replace(QLatin1Char('\n'), QLatin1String(" / "));
    return lines.join(QLatin1Char('\n'));
}

// The first object of that role whose name starts with `name`.
const AccessibleNode* find(const QList<AccessibleNode>& nodes, const QString& role, const QString& name) {
    for (const AccessibleNode& node : nodes)
        if (node.role == role && node.name.startsWith(name))
            return &node;
    return nullptr;
}

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void surveyGoesOutWithTheChosenCertificate_data();
    void surveyGoesOutWithTheChosenCertificate();
    void surveyGoesOutSignedOnTheSmartCard();

private:
    // The program and its engine copied into a folder of their own, where the
    // response file lands, and the survey in a work folder; answers the program.
    QString installProgram(const QString& name);
    // The windows of one run as AT-SPI showed them, by window title.
    static void checkWhatAScreenReaderRead(const QMap<QString, QList<AccessibleNode>>& read);
    // The events from the start to the outcome, each with the object it came from.
    static void checkWhatAScreenReaderHeard(const QList<std::pair<AccessibleEvent, AccessibleNode>>& heard);

    QTemporaryDir folder_;
    cto::test::OfficeDesktop desktop_{QStringLiteral(CTO_SIMULATED_OFFICE),
                                      QStringLiteral(CTO_TESTS_DIR "/support/make-test-nssdb.sh")};
};

void TestEndToEnd::initTestCase() {
    QVERIFY(folder_.isValid());
    const QString problem = desktop_.start(folder_.path());
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestEndToEnd::cleanupTestCase() {
    desktop_.stop();
}

namespace {
const QString kSurvey = QStringLiteral(CTO_SOURCE_DIR "/tools/simulated_office/encuesta-ejemplo.xml");
}

QString TestEndToEnd::installProgram(const QString& name) {
    const QString programFolder = folder_.filePath(name);
    const QString program = programFolder + QStringLiteral("/ConexionTulvaOskel");
    const QString work = programFolder + QStringLiteral("/work");
    if (!QDir().mkpath(work) || !QFile::copy(QStringLiteral(CTO_PROGRAM), program) ||
        !QFile::copy(QStringLiteral(CTO_ENGINE_MODULE),
                     programFolder + QStringLiteral("/libConexionTulvaOskelEngine.so")) ||
        !QFile::copy(QStringLiteral(CTO_MODULE_PROBE),
                     programFolder + QStringLiteral("/ConexionTulvaOskelProbe")) ||
        !QFile::copy(kSurvey, work + QStringLiteral("/encuesta.xml")))
        return {};
    return program;
}

// Blind users mostly run GNOME with its screen reader: the program must be
// read there as on a bare desktop.
void TestEndToEnd::surveyGoesOutWithTheChosenCertificate_data() {
    QTest::addColumn<QStringList>("desktop");
    QTest::newRow("no desktop session") << QStringList();
    QTest::newRow("GNOME session") << QStringList{
        QStringLiteral("XDG_CURRENT_DESKTOP=GNOME"), QStringLiteral("DESKTOP_SESSION=gnome"),
        QStringLiteral("GNOME_DESKTOP_SESSION_ID=this-is-deprecated"),
        QStringLiteral("XDG_SESSION_DESKTOP=gnome")};
}

void TestEndToEnd::surveyGoesOutWithTheChosenCertificate() {
    QFETCH(QStringList, desktop);
    const QString row = QString::fromLatin1(QTest::currentDataTag()).section(u' ', 0, 0);
    const QString program = installProgram(QStringLiteral("program-") + row);
    QVERIFY(!program.isEmpty());
    const QString programFolder = QFileInfo(program).path();
    const QString work = programFolder + QStringLiteral("/work");
    const QString survey = kSurvey;
    const QString copy = folder_.filePath(QStringLiteral("copia-guardada-") + row + QStringLiteral(".xml"));

    // A screen reader follows the run: at each window, what it would read.
    AtSpiSession screenReader;
    const QString problem = screenReader.start();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const QString listening =
        screenReader.listen({QStringLiteral("object:"), QStringLiteral("window:"), QStringLiteral("focus:")});
    QVERIFY2(listening.isEmpty(), qPrintable(listening));
    QMap<QString, QList<AccessibleNode>> read;
    QList<std::pair<AccessibleEvent, AccessibleNode>> heard;
    desktop_.programExtras = screenReader.programVariables();
    for (const QString& variable : desktop)
        desktop_.programExtras.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    desktop_.beforeAnswering = [&](const QString& title) {
        read[title] = screenReader.applicationTree(QStringLiteral("ConexionTulvaOskel"));
        // Once the outcome shows, the events of the send so far, each with
        // the object it came from (asked while the program still answers).
        if (title == QStringLiteral("Conexiontulvaoskel")) {
            // The bus brings them after the desktop shows the window: the
            // send's last ones are in once the outcome's own activation is.
            (void)QTest::qWaitFor(
                [&] {
                    const QList<AccessibleEvent>& events = screenReader.events();
                    return std::any_of(events.begin(), events.end(), [&](const AccessibleEvent& event) {
                        return event.kind == QLatin1String("Window:Activate") && event.data == title;
                    });
                },
                30000);
            for (const AccessibleEvent& event : screenReader.events())
                heard.push_back({event, screenReader.describe(event)});
        }
    };
    const auto unwatch = qScopeGuard([this] {
        desktop_.programExtras = {};
        desktop_.beforeAnswering = nullptr;
    });

    // The office numbers the exchanges of all the runs it serves.
    const QString exchanges = desktop_.exchangesFolder();
    const auto exchange = [&](int number, const char* part) {
        return exchanges +
               QStringLiteral("/%1-%2").arg(number, 3, 10, QLatin1Char('0')).arg(QLatin1String(part));
    };
    const int ours =
        int(QDir(exchanges).entryList({QStringLiteral("*-request.xml")}, QDir::Files).size()) + 1;

    desktop_.sendAsUser(program, work, QStringLiteral("encuesta.xml"), copy);
    if (QTest::currentTestFailed())
        return;
    checkWhatAScreenReaderRead(read);
    checkWhatAScreenReaderHeard(heard);

    // What the office received: the survey byte for byte, with the chosen certificate.
    QCOMPARE(contentOf(exchange(ours, "request.xml")), contentOf(survey));
    QCOMPARE(QString::fromUtf8(contentOf(exchange(ours, "client.txt"))), QString::fromUtf8("Peña Muñoz\n"));
    QVERIFY2(!QFile::exists(exchange(ours + 1, "request.xml")), "the survey went out twice");
    // The response file and the saved copy: the office's answer element alone, in its namespace.
    const QByteArray expected = contentOf(exchange(ours, "expected-response.xml"));
    QVERIFY(expected.startsWith(
        "<RespuestaSolicitudEncuesta xmlns=\"RespuestaSolicitud.xsd\"><NumeroOrden>OSK-"));
    QCOMPARE(contentOf(programFolder + QStringLiteral("/encuesta-response.xml")), expected);
    QCOMPARE(contentOf(copy), expected);
}

void TestEndToEnd::checkWhatAScreenReaderRead(const QMap<QString, QList<AccessibleNode>>& read) {
    // Each window, with the main window behind it all along.
    const QString certificates = QString::fromUtf8("Selección de Certificado");
    const QString outcome = QStringLiteral("Conexiontulvaoskel");
    const QString save = QStringLiteral("Guardar resultados del envio");
    QCOMPARE(read.keys(), (QStringList{outcome, save, certificates}));
    for (const QList<AccessibleNode>& tree : read) {
        const QList<AccessibleNode> main = AtSpiSession::windowIn(
            tree, QStringLiteral("frame"), QString::fromUtf8("Conexión y envio a OSKEL"));
        QVERIFY2(find(main, QStringLiteral("push button"), QStringLiteral("Cerrar")),
                 qPrintable(described(tree)));
    }

    // The rows by name, each with its details; the buttons by their words.
    const QList<AccessibleNode> dialog =
        AtSpiSession::windowIn(read[certificates], QStringLiteral("dialog"), certificates);
    const QString dialogText = described(read[certificates]);
    QVERIFY2(find(dialog, QStringLiteral("label"), QString::fromUtf8("SELECCIÓN DE CERTIFICADO")),
             qPrintable(dialogText));
    for (const char* button : {"Aceptar", "Cancelar"})
        QVERIFY2(find(dialog, QStringLiteral("push button"), QLatin1String(button)), qPrintable(dialogText));
    // The narrow first column: its header named, its cells the row's place.
    QVERIFY2(find(dialog, QStringLiteral("column header"), QString::fromUtf8("Posición")),
             qPrintable(dialogText));
    QVERIFY2(find(dialog, QStringLiteral("tree item"), QStringLiteral("Certificado 3 de 3")),
             qPrintable(dialogText));
    const AccessibleNode* row = find(dialog, QStringLiteral("tree item"), QString::fromUtf8("Peña Muñoz"));
    QVERIFY2(row, qPrintable(dialogText));
    QVERIFY2(row->description.startsWith(QString::fromUtf8("Titular: ")), qPrintable(row->description));
    QVERIFY2(row->description.endsWith(QString::fromUtf8("Ubicación: Chromium / escritorio")),
             qPrintable(row->description));

    // The verdict, whole, and the save dialog by its title.
    const QString outcomeText = described(read[outcome]);
    QVERIFY2(
        find(read[outcome], QStringLiteral("label"), QStringLiteral("La encuesta con Numero de Orden: ")),
        qPrintable(outcomeText));
    QVERIFY2(!AtSpiSession::windowIn(read[save], QStringLiteral("dialog"), save).isEmpty(),
             qPrintable(described(read[save])));
}

// Between Aceptar and the outcome: the main window comes back announced,
// with the keyboard on the log, and each line the log receives reaches the
// screen reader as a notification that it says, and as the focused log's new
// description (the text inserted alone it would not say: no one typed it).
void TestEndToEnd::checkWhatAScreenReaderHeard(
    const QList<std::pair<AccessibleEvent, AccessibleNode>>& heard) {
    QStringList lines;
    for (const auto& [event, source] : heard)
        lines << QStringLiteral("%1 %2 «%3» → %4").arg(event.kind, source.role, source.name, event.data);
    const QString all = lines.join(QLatin1Char('\n'));
    const QString main = QString::fromUtf8("Conexión y envio a OSKEL");
    const QString log = QString::fromUtf8("Registro del envío");
    const auto from = [&](qsizetype start, auto&& matches) {
        for (qsizetype at = start; at < heard.size(); ++at)
            if (matches(heard[at].first, heard[at].second))
                return at;
        return qsizetype(-1);
    };
    // Every line, in order, inserted into the log, each followed by the
    // log's new description.
    QStringList inserted;
    QString last;
    for (const auto& [event, source] : heard) {
        if (source.name != log)
            continue;
        if (event.kind == QLatin1String("Object:TextChanged:insert"))
            last = event.data.trimmed();
        else if (event.kind == QLatin1String("Object:PropertyChange:accessible-description") &&
                 !last.isEmpty())
            inserted << std::exchange(last, QString());
    }
    const QStringList expected = {QStringLiteral("Configurando conexión con OSKEL..."),
                                  QStringLiteral("Ok"),
                                  QStringLiteral("Cargando fichero XML generado..."),
                                  QStringLiteral("Ok"),
                                  QStringLiteral("Enviando fichero XML..."),
                                  QStringLiteral("Ok")};
    QVERIFY2(inserted == expected, qPrintable(all));

    const qsizetype closed = from(0, [](const AccessibleEvent& event, const AccessibleNode&) {
        return event.kind == QLatin1String("Window:Deactivate") &&
               event.data == QString::fromUtf8("Selección de Certificado");
    });
    QVERIFY2(closed >= 0, qPrintable(all));
    const qsizetype activated = from(closed, [&](const AccessibleEvent& event, const AccessibleNode&) {
        return event.kind == QLatin1String("Window:Activate") && event.data == main;
    });
    QVERIFY2(activated >= 0, qPrintable(all));
    const qsizetype focused =
        from(activated, [&](const AccessibleEvent& event, const AccessibleNode& source) {
            return event.kind == QLatin1String("Focus:Focus") && source.role == QLatin1String("text") &&
                   source.name == log;
        });
    QVERIFY2(focused >= 0, qPrintable(all));
    // The line that the send's end adds, heard after the focus came to the log.
    const qsizetype ended = from(focused, [&](const AccessibleEvent& event, const AccessibleNode& source) {
        return event.kind == QLatin1String("Object:TextChanged:insert") && source.name == log &&
               event.data.trimmed() == QLatin1String("Ok");
    });
    QVERIFY2(ended >= 0, qPrintable(all));
    // What is said: each line also appears as a notification, which screen
    // readers say as it shows (a wait of more than a second adds its line).
    const auto notices = std::count_if(heard.begin(), heard.end(), [](const auto& heardEvent) {
        return heardEvent.first.kind == QLatin1String("Object:StateChanged:showing") &&
               heardEvent.first.detail1 == 1 && heardEvent.second.role == QLatin1String("notification");
    });
    QVERIFY2(notices >= expected.size(), qPrintable(all));
}

// The certificate lives on a smart card (a SoftHSM token whose keys can never
// leave it) that the user's store names: the user picks it, types the card's
// PIN in the program's own prompt, and the office sees that certificate.
void TestEndToEnd::surveyGoesOutSignedOnTheSmartCard() {
    QVERIFY(desktop_.addSmartCard(QStringLiteral(CTO_TESTS_DIR "/support/make-test-token.sh"),
                                  QStringLiteral("Tarjeta Prueba"), QStringLiteral("4711")));
    const QString program = installProgram(QStringLiteral("program-card"));
    QVERIFY(!program.isEmpty());
    const QString copy = folder_.filePath(QStringLiteral("copia-tarjeta.xml"));
    const QStringList exchangesBefore =
        QDir(desktop_.exchangesFolder()).entryList({QStringLiteral("*-client.txt")});

    // Type-ahead on the names finds the first of the card's certificates and
    // selects it (a space would toggle the selection off). The card's rows
    // join the list once its module has answered its probe, which is stopped
    // after its bound at the latest: the typing waits that long. While the
    // list still gathers typed letters it keeps Alt+A to itself: a pause.
    desktop_.sendAsUser(program, QFileInfo(program).path() + QStringLiteral("/work"),
                        QStringLiteral("encuesta.xml"), copy,
                        {{"sleep", "6", "type", "--delay", "80", "Titular"},
                         QStringLiteral("4711"),
                         {"sleep", "1", "key", "alt+a"},
                         QString::fromUtf8("PIN de la tarjeta «Tarjeta Prueba»")});
    if (QTest::currentTestFailed())
        return;

    // One more exchange, made with the card's certificate.
    const QStringList exchanges =
        QDir(desktop_.exchangesFolder()).entryList({QStringLiteral("*-client.txt")});
    QCOMPARE(exchanges.size(), exchangesBefore.size() + 1);
    const QString stem = desktop_.exchangesFolder() + QLatin1Char('/') + exchanges.last().chopped(10);
    // The card lists its three certificates in an order of its own; the
    // office saw one of them (which row carries which is another suite's).
    const QString client = QString::fromUtf8(contentOf(stem + QStringLiteral("client.txt")));
    QVERIFY2(client.startsWith(QStringLiteral("Titular Tarjeta ")), qPrintable(client));
    const QByteArray expected = contentOf(stem + QStringLiteral("expected-response.xml"));
    QVERIFY(!expected.isEmpty());
    QCOMPARE(contentOf(QFileInfo(program).path() + QStringLiteral("/encuesta-response.xml")), expected);
    QCOMPARE(contentOf(copy), expected);
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_end_to_end.moc"
