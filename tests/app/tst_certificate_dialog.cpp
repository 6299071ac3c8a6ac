#include "ModalDriver.h"
#include "certificates/TestNssDatabase.h"

#include "app/SendEngine.h"
#include "app/windows/CertificateRowTexts.h"
#include "app/windows/DefaultErrorBox.h"
#include "app/windows/PlainMessageBox.h"
#include "app/windows/uFContrasenaAlmacen.h"
#include "app/windows/uFCredenciales.h"
#include "app/windows/uFSeleccionCertificado.h"
#include "support/TestMain.h"

#include <QAbstractItemDelegate>
#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QTreeWidget>

#include <ctime>

using namespace cto;
using cto::test::onNextModal;
using cto::test::pressKey;
using cto::test::runTool;

namespace {

// A store whose second certificate carries a basic-constraints extension that
// cannot be decoded, between two sound ones; all three with their (one) key.
void makeBrokenDatabase(const QString& directory) {
    const QString database = QStringLiteral("sql:") + directory;
    const QString config = directory + QStringLiteral("/req.cnf");
    QDir().mkpath(directory);
    QFile configFile(config);
    QVERIFY(configFile.open(QIODevice::WriteOnly));
    configFile.write("[req]\ndistinguished_name=dn\n[dn]\n");
    configFile.close();
    runTool(QStringLiteral("certutil"), {"-N", "-d", database, "--empty-password"});
    runTool(QStringLiteral("openssl"), {"genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256",
                                        "-out", directory + "/key.pem"});
    const QList<QStringList> certificates = {
        {"/CN=Bueno Uno"}, {"/CN=Roto", "-addext", "2.5.29.19=critical,DER:01:02:03"}, {"/CN=Bueno Dos"}};
    int number = 0;
    for (const QStringList& certificate : certificates) {
        const QString file = directory + QStringLiteral("/%1.pem").arg(++number);
        const QStringList request{"req",   "-x509", "-config", config, "-key", directory + "/key.pem",
                                  "-days", "30",    "-out",    file,   "-subj"};
        runTool(QStringLiteral("openssl"), request + certificate);
        const QString bundle = directory + QStringLiteral("/import.p12");
        runTool(QStringLiteral("openssl"),
                {"pkcs12", "-export", "-in", file, "-inkey", directory + "/key.pem", "-name",
                 QString::number(number), "-passout", "pass:x", "-out", bundle});
        runTool(QStringLiteral("pk12util"), {"-i", bundle, "-d", database, "-W", "x", "-K", ""});
    }
}

QStringList rowsOf(const TFSeleccionCertificado* dialog) {
    const auto* list = dialog->findChild<QTreeWidget*>(QStringLiteral("lvCertificados"));
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = list->topLevelItem(i);
        rows << row->text(0) + QLatin1Char('|') + row->text(1) + QLatin1Char('|') + row->text(2);
    }
    return rows;
}

QTreeWidget* listOf(QWidget* dialog) {
    return dialog->findChild<QTreeWidget*>(QStringLiteral("lvCertificados"));
}

QPushButton* button(QWidget* dialog, const char* name) {
    return dialog->findChild<QPushButton*>(QLatin1String(name));
}

void doubleClickRow(QTreeWidget* list, int row) {
    const QRect rect = list->visualItemRect(list->topLevelItem(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

} // namespace

Q_DECLARE_METATYPE(cto::PasswordRequest)
Q_DECLARE_METATYPE(std::vector<cto::CertificateRow>)

class TestCertificateDialog : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup() { cto::test::cancelPendingModalSteps(); }

    void listsPersonalCertificatesWithoutAuthorities();
    void namesakesToldApartAndExpiryMarked();
    void shownNames_data();
    void shownNames();
    void expiryDateUsesLocaleSeparator_data();
    void expiryDateUsesLocaleSeparator();
    void centredOverTheMainWindow();
    void keyboardAndModalResults_data();
    void keyboardAndModalResults();
    void choiceIsRecordedOnlyFromOneSelectedRow();
    void storeFailureIsALineUnderTheList();
    void rowsBeforeAFailureStay();
    void defaultErrorBoxText_data();
    void defaultErrorBoxText();

    void passwordDialog_data();
    void passwordDialog();
    void credentialsDialog_data();
    void credentialsDialog();

private:
    QTemporaryDir folder_;
    QString database_;
    QString brokenDatabase_;
};

void TestCertificateDialog::initTestCase() {
    // Expiry dates are shown in local time; pin it so the expected dates hold anywhere.
    qputenv("TZ", "UTC");
    tzset();
    QVERIFY(folder_.isValid());
    database_ = folder_.filePath(QStringLiteral("nssdb"));
    cto::test::makeTestNssDatabase({database_});
    brokenDatabase_ = folder_.filePath(QStringLiteral("nssdb-broken"));
    makeBrokenDatabase(brokenDatabase_);
}

void TestCertificateDialog::init() {
    qputenv("CTO_NSS_DATABASE", database_.toUtf8());
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestCertificateDialog::listsPersonalCertificatesWithoutAuthorities() {
    TFSeleccionCertificado dialog;
    QCOMPARE(dialog.windowTitle(), QString::fromUtf8("Selección de Certificado"));
    QCOMPARE(dialog.size(), QSize(394, 271));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());

    QStringList shown;
    onNextModal<TFSeleccionCertificado>([&](TFSeleccionCertificado* d) {
        shown = rowsOf(d);
        QCOMPARE(QApplication::focusWidget(), listOf(d));
        d->findChild<QPushButton*>(QStringLiteral("bbCancelar"))->click();
    });
    QCOMPARE(dialog.ShowModal(), int(mrAbort));

    // Store order; the intermediate authority and the certificate without a key
    // left out; the expired one listed with its past date; two rows for one name.
    QCOMPARE(shown.size(), 3);
    QCOMPARE(shown[0], QStringLiteral("|Cliente Prueba|01/01/2021"));
    QVERIFY2(QRegularExpression(QStringLiteral("^\\|Cliente Prueba\\|\\d\\d/\\d\\d/20\\d\\d$"))
                 .match(shown[1])
                 .hasMatch(),
             qPrintable(shown[1]));
    QVERIFY(shown[2].startsWith(QString::fromUtf8("|Peña Muñoz|")));
    QVERIFY(!shown.join(QString()).contains(QStringLiteral("Autoridad")));
    QVERIFY(!shown.join(QString()).contains(QStringLiteral("Organismo Sin Clave")));

    QTreeWidget* list = listOf(&dialog);
    QCOMPARE(list->geometry(), QRect(8, 47, 378, 180));
    QCOMPARE(list->columnCount(), 3);
    const QTreeWidgetItem* header = list->headerItem();
    QCOMPARE(header->text(0), QString());
    QCOMPARE(header->text(1), QStringLiteral("Nombre"));
    QCOMPARE(header->text(2), QStringLiteral("Caducidad"));
    QCOMPARE(list->columnWidth(0), 10);
    QCOMPARE(list->columnWidth(2), 100);
    QCOMPARE(list->columnWidth(1), list->viewport()->width() - 110);
    QCOMPARE(Qt::Alignment(list->topLevelItem(0)->textAlignment(2)), Qt::Alignment(Qt::AlignCenter));
    QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(!list->rootIsDecorated());
    QVERIFY(!list->isSortingEnabled());
    QVERIFY(list->updatesEnabled());
}

// The fixture's two "Cliente Prueba" of one organisation and issuer, the
// first expired: each row shows its serial number's end, the expired one says
// so, and a screen reader hears the same and the date it expired; what the
// dialog hands back is still the name alone.
void TestCertificateDialog::namesakesToldApartAndExpiryMarked() {
    TFSeleccionCertificado dialog;
    QStringList shown, spoken, described;
    int nameWidth = 0;
    bool fitsInItsColumn = true;
    onNextModal<TFSeleccionCertificado>([&](TFSeleccionCertificado* d) {
        QTreeWidget* list = listOf(d);
        QVERIFY(list->itemDelegateForColumn(1)); // what draws the shown name
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = list->topLevelItem(i);
            shown << row->data(1, cto::kShownNameRole).toString();
            spoken << row->data(1, Qt::AccessibleTextRole).toString();
            described << row->data(1, Qt::AccessibleDescriptionRole).toString();
            // Drawn whole, not cut short with an ellipsis.
            QStyleOptionViewItem option;
            option.initFrom(list);
            const QModelIndex index = list->model()->index(i, 1);
            nameWidth = list->itemDelegateForColumn(1)->sizeHint(option, index).width();
            fitsInItsColumn = fitsInItsColumn && nameWidth <= list->columnWidth(1);
        }
        list->setCurrentItem(list->topLevelItem(0));
        button(d, "bbAceptar")->click();
    });
    QCOMPARE(dialog.ShowModal(), int(mrOk));
    QCOMPARE(dialog.usNombreCertificadoSeleccionado, QStringLiteral("Cliente Prueba"));
    QCOMPARE(shown.size(), 3);
    const QRegularExpression namesake(
        QString::fromUtf8("^Cliente Prueba · serie …?[0-9A-F]{2}(:[0-9A-F]{2})*"));
    QVERIFY2(namesake.match(shown[0]).hasMatch() && shown[0].endsWith(QStringLiteral(" (caducado)")),
             qPrintable(shown[0]));
    QVERIFY2(namesake.match(shown[1]).hasMatch() && !shown[1].contains(QStringLiteral("caducado")),
             qPrintable(shown[1]));
    QVERIFY(shown[0].section(QLatin1Char(' '), 4, 4) != shown[1].section(QLatin1Char(' '), 4, 4));
    QCOMPARE(shown[2], QString::fromUtf8("Peña Muñoz"));
    QCOMPARE(spoken, shown);
    QVERIFY2(described[0].startsWith(QStringLiteral("Caducado el 1 ene 2021\n")), qPrintable(described[0]));
    QVERIFY2(!described[1].contains(QStringLiteral("aducado")), qPrintable(described[1]));
    QVERIFY2(fitsInItsColumn, qPrintable(QString::number(nameWidth)));
}

void TestCertificateDialog::shownNames_data() {
    using cto::CertificateRow;
    QTest::addColumn<std::vector<CertificateRow>>("rows");
    QTest::addColumn<QStringList>("shown");
    const QDateTime valid = QDateTime(QDate(2099, 1, 1), QTime(0, 0), QTimeZone::utc());
    const QDateTime expired = QDateTime(QDate(2024, 1, 1), QTime(12, 0), QTimeZone::utc());
    const auto row = [&](const char* name, const char* organisation, const char* issuer, const char* serial,
                         const QDateTime& validTo) {
        CertificateRow certificate;
        certificate.name = QString::fromUtf8(name);
        certificate.organisation = QString::fromUtf8(organisation);
        certificate.issuer = QString::fromUtf8(issuer);
        certificate.serialNumber = QString::fromUtf8(serial);
        certificate.validTo = validTo;
        return certificate;
    };
    QTest::newRow("names that differ: the name alone")
        << std::vector{row("Ana", "A", "CN=X", "01", valid), row("Eva", "A", "CN=X", "02", valid)}
        << QStringList{"Ana", "Eva"};
    QTest::newRow("namesakes of two organisations")
        << std::vector{row("Hotel Uno", "Hotel SA", "CN=X", "01", valid),
                       row("Hotel Uno", "Gestora SL", "CN=X", "02", valid),
                       row("Ana", "", "CN=X", "03", valid)}
        << QStringList{QString::fromUtf8("Hotel Uno · Hotel SA"), QString::fromUtf8("Hotel Uno · Gestora SL"),
                       "Ana"};
    QTest::newRow("one organisation, two issuers")
        << std::vector{row("Hotel Uno", "Hotel SA", "CN=AC Uno,O=AC", "01", valid),
                       row("Hotel Uno", "Hotel SA", "CN=AC Dos,O=AC", "02", valid)}
        << QStringList{QString::fromUtf8("Hotel Uno · AC Uno"), QString::fromUtf8("Hotel Uno · AC Dos")};
    QTest::newRow("one organisation and issuer: the serial's end")
        << std::vector{row("Hotel Uno", "Hotel SA", "CN=AC", "0A:11:22:33", valid),
                       row("Hotel Uno", "Hotel SA", "CN=AC", "0B:11:22:34", valid)}
        << QStringList{QString::fromUtf8("Hotel Uno · serie …11:22:33"),
                       QString::fromUtf8("Hotel Uno · serie …11:22:34")};
    QTest::newRow("serials of one end: the whole serial")
        << std::vector{row("Hotel Uno", "", "CN=AC", "0A:11:22:33", valid),
                       row("Hotel Uno", "", "CN=AC", "0B:11:22:33", valid)}
        << QStringList{QStringLiteral("Hotel Uno · serie 0A:11:22:33"),
                       QStringLiteral("Hotel Uno · serie 0B:11:22:33")};
    QTest::newRow("expired") << std::vector{row("Ana", "", "CN=X", "01", expired)}
                             << QStringList{QStringLiteral("Ana (caducado)")};
}

void TestCertificateDialog::shownNames() {
    QFETCH(std::vector<cto::CertificateRow>, rows);
    QFETCH(QStringList, shown);
    const std::vector<QString> names =
        cto::shownNames(rows, QDateTime(QDate(2026, 12, 11), QTime(8, 0), QTimeZone::utc()));
    QCOMPARE(QStringList(names.begin(), names.end()), shown);
    QCOMPARE(cto::expiryNote(rows.front(), QDateTime(QDate(2026, 12, 11), QTime(8, 0), QTimeZone::utc())),
             rows.front().validTo.date().year() == 2024 ? QStringLiteral("caducado el 1 ene 2024")
                                                        : QString());
}

void TestCertificateDialog::expiryDateUsesLocaleSeparator_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("separator");
    QTest::newRow("slash") << QLocale(QLocale::Spanish, QLocale::Spain) << "/";
    QTest::newRow("dot") << QLocale(QLocale::German, QLocale::Germany) << ".";
    QTest::newRow("dash") << QLocale(QLocale::Dutch, QLocale::Netherlands) << "-";
    // Only the separator comes from the locale, never the order of the fields.
    QTest::newRow("year first") << QLocale(QLocale::Swedish, QLocale::Sweden) << "-";
    QTest::newRow("month first") << QLocale(QLocale::English, QLocale::UnitedStates) << "/";
}

void TestCertificateDialog::expiryDateUsesLocaleSeparator() {
    QFETCH(QLocale, locale);
    QFETCH(QString, separator);
    QCOMPARE(formatCaducidad(QDateTime(QDate(2026, 12, 31), QTime(12, 0), QTimeZone::utc()), locale),
             QStringList({"31", "12", "2026"}).join(separator));
    QCOMPARE(formatCaducidad(QDateTime(QDate(2027, 3, 4), QTime(0, 0), QTimeZone::utc()), locale),
             QStringList({"04", "03", "2027"}).join(separator));
}

void TestCertificateDialog::centredOverTheMainWindow() {
    QWidget mainWindow;
    mainWindow.setGeometry(40, 60, 484, 361);
    mainWindow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));
    TFSeleccionCertificado dialog(&mainWindow);
    QPoint centre;
    onNextModal<TFSeleccionCertificado>([&](TFSeleccionCertificado* d) {
        centre = d->geometry().center();
        d->close();
    });
    dialog.ShowModal();
    // Within the few pixels the platform's window frames may shift it.
    QVERIFY2((centre - mainWindow.geometry().center()).manhattanLength() <= 4,
             qPrintable(QStringLiteral("%1,%2").arg(centre.x()).arg(centre.y())));
}

void TestCertificateDialog::keyboardAndModalResults_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("result");
    QTest::newRow("Enter at once presses Cancelar") << QStringList{"Enter"} << int(mrAbort);
    QTest::newRow("Enter on a selected row presses Cancelar") << QStringList{"Down", "Enter"} << int(mrAbort);
    QTest::newRow("Enter on Cancelar") << QStringList{"Tab", "Enter"} << int(mrAbort);
    QTest::newRow("Enter on Aceptar") << QStringList{"Down", "Tab", "Tab", "Enter"} << int(mrOk);
    QTest::newRow("Escape does nothing, close box") << QStringList{"Escape", "Close"} << int(mrCancel);
    QTest::newRow("access key A") << QStringList{"Down", "Alt+A"} << int(mrOk);
    QTest::newRow("access key C") << QStringList{"Alt+C"} << int(mrAbort);
    QTest::newRow("click Aceptar") << QStringList{"Down", "ClickAceptar"} << int(mrOk);
    // With no row selected there is nothing to accept.
    QTest::newRow("Aceptar without a row does nothing")
        << QStringList{"Alt+A", "ClickAceptar", "Close"} << int(mrCancel);
    QTest::newRow("click Cancelar") << QStringList{"ClickCancelar"} << int(mrAbort);
}

void TestCertificateDialog::keyboardAndModalResults() {
    QFETCH(QStringList, steps);
    QFETCH(int, result);
    TFSeleccionCertificado dialog;
    onNextModal<TFSeleccionCertificado>([steps](TFSeleccionCertificado* d) {
        for (const QString& step : steps) {
            QVERIFY2(d->isVisible(), qPrintable(QStringLiteral("closed before ") + step));
            if (step == QLatin1String("Enter"))
                pressKey(d, Qt::Key_Return);
            else if (step == QLatin1String("Down"))
                pressKey(d, Qt::Key_Down);
            else if (step == QLatin1String("Tab"))
                pressKey(d, Qt::Key_Tab);
            else if (step == QLatin1String("Escape"))
                pressKey(d, Qt::Key_Escape);
            else if (step == QLatin1String("Alt+A"))
                pressKey(d, Qt::Key_A, Qt::AltModifier);
            else if (step == QLatin1String("Alt+C"))
                pressKey(d, Qt::Key_C, Qt::AltModifier);
            else if (step == QLatin1String("ClickAceptar"))
                QTest::mouseClick(button(d, "bbAceptar"), Qt::LeftButton);
            else if (step == QLatin1String("ClickCancelar"))
                QTest::mouseClick(button(d, "bbCancelar"), Qt::LeftButton);
            else if (step == QLatin1String("Close"))
                d->close();
        }
    });
    QCOMPARE(dialog.ShowModal(), result);
    QVERIFY(!dialog.isVisible());
}

void TestCertificateDialog::choiceIsRecordedOnlyFromOneSelectedRow() {
    TFSeleccionCertificado dialog;

    // Aceptar with nothing selected cannot be pressed; the name stays empty.
    onNextModal<TFSeleccionCertificado>([](TFSeleccionCertificado* d) {
        QVERIFY(listOf(d)->selectedItems().isEmpty());
        QVERIFY(!button(d, "bbAceptar")->isEnabled());
        button(d, "bbAceptar")->click();
        d->close();
    });
    QCOMPARE(dialog.ShowModal(), int(mrCancel));
    QCOMPARE(dialog.usNombreCertificadoSeleccionado, QString());
    QVERIFY(dialog.usCertificadoSeleccionado.isEmpty());

    // A double-click records the row's name and leaves the dialog open;
    // Cancelar then closes it with 3 and the name stays.
    onNextModal<TFSeleccionCertificado>([](TFSeleccionCertificado* d) {
        doubleClickRow(listOf(d), 2);
        QVERIFY(d->isVisible());
        QCOMPARE(d->usNombreCertificadoSeleccionado, QString::fromUtf8("Peña Muñoz"));
        button(d, "bbCancelar")->click();
    });
    QCOMPARE(dialog.ShowModal(), int(mrAbort));
    QCOMPARE(dialog.usNombreCertificadoSeleccionado, QString::fromUtf8("Peña Muñoz"));

    // The next showing rebuilds the list (no selection left), keeps the name
    // through a double-click on no row and an empty Aceptar, and a new
    // acceptance with a selection replaces it.
    onNextModal<TFSeleccionCertificado>([](TFSeleccionCertificado* d) {
        QTreeWidget* list = listOf(d);
        QCOMPARE(list->topLevelItemCount(), 3);
        QVERIFY(list->selectedItems().isEmpty());
        const QPoint belowRows(list->viewport()->width() / 2, list->viewport()->height() - 5);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, belowRows);
        QCOMPARE(d->usNombreCertificadoSeleccionado, QString::fromUtf8("Peña Muñoz"));
        list->setCurrentItem(list->topLevelItem(0));
        QTest::mouseClick(button(d, "bbAceptar"), Qt::LeftButton);
    });
    QCOMPARE(dialog.ShowModal(), int(mrOk));
    QCOMPARE(dialog.usNombreCertificadoSeleccionado, QStringLiteral("Cliente Prueba"));
    QVERIFY(!dialog.usCertificadoSeleccionado.isEmpty());
}

// The lines under the list, as the dialog shows them.
static QStringList linesOf(QWidget* dialog) {
    QStringList lines;
    const auto* area = dialog->findChild<QWidget*>(QStringLiteral("notas"));
    if (!area->isVisible())
        return lines;
    for (const QLabel* line : area->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly)) {
        // Each one read out, and selectable to be copied.
        if (!(line->textInteractionFlags() & Qt::TextSelectableByMouse))
            return {QStringLiteral("not selectable: ") + line->text()};
        const QAccessibleInterface* read = QAccessible::queryAccessibleInterface(const_cast<QLabel*>(line));
        if (!read || read->role() != QAccessible::StaticText || read->text(QAccessible::Name) != line->text())
            return {QStringLiteral("not read out: ") + line->text()};
        lines << line->text();
    }
    return lines;
}

// A store that cannot be read is a line under the list, never a box before
// the dialog; with nothing to list, a line says so and what to do.
void TestCertificateDialog::storeFailureIsALineUnderTheList() {
    TFSeleccionCertificado dialog;
    const QString missing = folder_.filePath(QStringLiteral("no-such-database"));
    qputenv("CTO_NSS_DATABASE", missing.toUtf8());
    QStringList lines;
    int height = 0;
    onNextModal<TFSeleccionCertificado>([&](TFSeleccionCertificado* d) {
        QCOMPARE(listOf(d)->topLevelItemCount(), 0);
        QVERIFY(!button(d, "bbAceptar")->isEnabled());
        lines = linesOf(d);
        height = d->height();
        // The buttons below the lines, still whole inside the dialog.
        const auto* area = d->findChild<QWidget*>(QStringLiteral("notas"));
        QVERIFY(button(d, "bbAceptar")->geometry().top() > area->geometry().bottom());
        QVERIFY(button(d, "bbCancelar")->geometry().bottom() < d->height());
        QTest::mouseClick(button(d, "bbCancelar"), Qt::LeftButton);
    });
    // Cancelar still sends without a certificate.
    QCOMPARE(dialog.ShowModal(), int(mrAbort));
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].startsWith(QString::fromUtf8("No se pudo abrir el almacén de certificados «Chromium / "
                                                   "escritorio» (sql:") +
                                 missing),
             qPrintable(lines[0]));
    QVERIFY2(lines[1].startsWith(QString::fromUtf8("No se encontró ningún certificado personal.")) &&
                 lines[1].contains(QStringLiteral("Cancelar")),
             qPrintable(lines[1]));
    QVERIFY(height > 271);

    // A showing with the store back lists it, without a line, at the designed size.
    qputenv("CTO_NSS_DATABASE", database_.toUtf8());
    onNextModal<TFSeleccionCertificado>([&](TFSeleccionCertificado* d) {
        lines = linesOf(d);
        height = d->height();
        QCOMPARE(listOf(d)->topLevelItemCount(), 3);
        d->close();
    });
    QCOMPARE(dialog.ShowModal(), int(mrCancel));
    QCOMPARE(lines, QStringList());
    QCOMPARE(height, 271);
}

void TestCertificateDialog::rowsBeforeAFailureStay() {
    qputenv("CTO_NSS_DATABASE", brokenDatabase_.toUtf8());
    TFSeleccionCertificado dialog;
    QStringList shown, lines;
    onNextModal<TFSeleccionCertificado>([&](TFSeleccionCertificado* d) {
        shown = rowsOf(d);
        lines = linesOf(d);
        QVERIFY(listOf(d)->updatesEnabled());
        d->close();
    });
    QCOMPARE(dialog.ShowModal(), int(mrCancel));
    QCOMPARE(lines.size(), 1);
    QVERIFY(!lines.front().isEmpty());
    QCOMPARE(shown.size(), 1);
    QVERIFY(shown.front().startsWith(QStringLiteral("|Bueno Uno|")));
}

void TestCertificateDialog::defaultErrorBoxText_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter") << "No se pudo"
                            << "No se pudo.";
    QTest::newRow("full stop") << "No se pudo."
                               << "No se pudo.";
    QTest::newRow("closing bracket") << "fallo (x)"
                                     << "fallo (x)";
    QTest::newRow("dash") << "fallo -"
                          << "fallo -";
    QTest::newRow("slash") << "a/b/"
                           << "a/b/.";
    QTest::newRow("accented") << QString::fromUtf8("año") << QString::fromUtf8("año.");
    QTest::newRow("empty") << ""
                           << "";
}

void TestCertificateDialog::defaultErrorBoxText() {
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(cto::defaultErrorBoxText(message), shown);
}

void TestCertificateDialog::passwordDialog_data() {
    using TriesLeft = PasswordRequest::TriesLeft;
    QTest::addColumn<PasswordRequest>("request");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("mentions");
    QTest::addColumn<QString>("warning"); // empty: no warning shown
    const QString ownStore = QString::fromUtf8("Su almacén de certificados está protegido");
    const QString profile =
        QString::fromUtf8("El almacén de certificados «Firefox, perfil trabajo» está protegido");
    const QString card = QString::fromUtf8("La tarjeta «Tarjeta criptográfica» está protegida con un PIN");
    const QString wrongPassword = QString::fromUtf8("La contraseña no es correcta. Escríbala de nuevo.");
    const QString wrongPin = QString::fromUtf8("El PIN no es correcto. Escríbalo de nuevo.");
    const QString few = QString::fromUtf8("Quedan pocos intentos antes de que la tarjeta se bloquee.");
    const QString last = QString::fromUtf8("Último intento: si el PIN falla, la tarjeta se bloqueará.");
    const QString nssName = QStringLiteral("NSS Certificate DB");
    const QString cardName = QString::fromUtf8("Tarjeta criptográfica");
    QTest::newRow("first asking") << PasswordRequest{nssName} << false << ownStore << QString();
    QTest::newRow("after a wrong password")
        << PasswordRequest{nssName, false, true} << false << ownStore << wrongPassword;
    QTest::newRow("cancelled with Escape") << PasswordRequest{nssName} << true << ownStore << QString();
    QTest::newRow("a profile's database")
        << PasswordRequest{QStringLiteral("Firefox, perfil trabajo")} << false << profile << QString();
    QTest::newRow("a card's PIN") << PasswordRequest{cardName, true} << false << card << QString();
    QTest::newRow("a card with few tries left")
        << PasswordRequest{cardName, true, false, TriesLeft::Few} << false << card << few;
    QTest::newRow("a wrong PIN, the last try left")
        << PasswordRequest{cardName, true, true, TriesLeft::Last} << false << card << wrongPin + "\n" + last;
}

void TestCertificateDialog::passwordDialog() {
    QFETCH(PasswordRequest, request);
    QFETCH(bool, cancel);
    QFETCH(QString, mentions);
    QFETCH(QString, warning);
    onNextModal<TFContrasenaAlmacen>([&](TFContrasenaAlmacen* d) {
        // A card's prompt names the card in its title, which the desktop's window list shows.
        QCOMPARE(d->windowTitle(), request.token
                                       ? QString::fromUtf8("PIN de la tarjeta «Tarjeta criptográfica»")
                                       : QString::fromUtf8("Contraseña del almacén de certificados"));
        // So does the header band, which a sighted user reads first.
        QCOMPARE(d->findChild<QLabel*>(QStringLiteral("Label18"))->text(),
                 request.token ? QStringLiteral("PIN DE LA TARJETA")
                               : QString::fromUtf8("CONTRASEÑA DEL ALMACÉN"));
        const auto* shownExplanation = d->findChild<QLabel*>(QStringLiteral("lExplicacion"));
        const QString explanation = shownExplanation->text();
        QVERIFY2(explanation.contains(mentions), qPrintable(explanation));
        QVERIFY(shownExplanation->heightForWidth(shownExplanation->width()) <= shownExplanation->height());
        const auto* shownWarning = d->findChild<QLabel*>(QStringLiteral("lAviso"));
        QCOMPARE(shownWarning->isVisible(), !warning.isEmpty());
        if (!warning.isEmpty()) {
            QCOMPARE(shownWarning->text(), warning);
            // The whole warning fits its place above the buttons.
            QVERIFY2(shownWarning->heightForWidth(shownWarning->width()) <= shownWarning->height(),
                     qPrintable(QStringLiteral("%1 px needed, %2 px there")
                                    .arg(shownWarning->heightForWidth(shownWarning->width()))
                                    .arg(shownWarning->height())));
        }
        QCOMPARE(QApplication::focusWidget(), d->findChild<QLineEdit*>(QStringLiteral("eContrasena")));
        // A card asks for its PIN by that name, a database for its password.
        QCOMPARE(d->findChild<QLabel*>(QStringLiteral("lContrasena"))->text(),
                 request.token ? QStringLiteral("&PIN:") : QString::fromUtf8("C&ontraseña:"));
        if (cancel) {
            pressKey(d, Qt::Key_Escape);
            return;
        }
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("clave "));
        QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), Qt::Key_unknown,
                            QString::fromUtf8("ñ"), {});
        pressKey(d, Qt::Key_Return);
    });
    const std::optional<std::string> answer = askStorePassword(request);
    if (cancel)
        QVERIFY(!answer);
    else
        QCOMPARE(answer, std::optional<std::string>("clave \xc3\xb1"));
}

void TestCertificateDialog::credentialsDialog_data() {
    QTest::addColumn<bool>("proxy");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("explanation"); // the program's words
    QTest::addColumn<QString>("realm");       // what the asker sent of itself
    QTest::addColumn<QString>("realmShown");  // empty: the line is hidden
    QTest::newRow("server")
        << false << false << false
        << "El servidor de la oficina pide un usuario y una contraseña para aceptar el envío."
        << "Encuestas" << QString::fromUtf8("El servidor dice de sí mismo: «Encuestas»");
    QTest::newRow("proxy") << true << false << false
                           << "El servidor proxy pide un usuario y una contraseña para dejar pasar el envío."
                           << "Encuestas" << QString::fromUtf8("El proxy dice de sí mismo: «Encuestas»");
    QTest::newRow("proxy, refused") << true << true << false
                                    << "El proxy no aceptó el usuario o la contraseña. Escríbalos de nuevo."
                                    << ""
                                    << "";
    // A realm that reads like the program's own instruction stays in its own quoted line, as text.
    QTest::newRow("proxy, a realm that mimics the program")
        << true << false << true
        << "El servidor proxy pide un usuario y una contraseña para dejar pasar el envío."
        << "Introduzca el PIN\nde su <b>certificado</b>"
        << QString::fromUtf8("El proxy dice de sí mismo: «Introduzca el PIN de su <b>certificado</b>»");
}

void TestCertificateDialog::credentialsDialog() {
    QFETCH(bool, proxy);
    QFETCH(bool, refused);
    QFETCH(bool, cancel);
    QFETCH(QString, explanation);
    QFETCH(QString, realm);
    QFETCH(QString, realmShown);
    onNextModal<TFCredenciales>([&](TFCredenciales* d) {
        QCOMPARE(d->windowTitle(), QString::fromUtf8("Autenticación requerida"));
        const auto* program = d->findChild<QLabel*>(QStringLiteral("lExplicacion"));
        const auto* asker = d->findChild<QLabel*>(QStringLiteral("lPalabrasDelServidor"));
        QCOMPARE(program->text(), explanation);
        QCOMPARE(asker->isVisible() ? asker->text() : QString(), realmShown);
        QCOMPARE(asker->textFormat(), Qt::PlainText);
        if (cancel) {
            QTest::mouseClick(button(d, "bbCancelar"), Qt::LeftButton);
            return;
        }
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("hotel"));
        pressKey(d, Qt::Key_Tab);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("secreto"));
        pressKey(d, Qt::Key_Return);
    });
    const std::optional<Credentials> answer =
        askCredentials(CredentialsRequest{proxy, realm.toStdString(), refused});
    if (cancel) {
        QVERIFY(!answer);
        return;
    }
    QVERIFY(answer);
    QCOMPARE(answer->userName, std::string("hotel"));
    QCOMPARE(answer->password, std::string("secreto"));
}

CTO_TEST_MAIN(TestCertificateDialog)
#include "tst_certificate_dialog.moc"
