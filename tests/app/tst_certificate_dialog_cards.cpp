// The certificate dialog with card modules registered: a SoftHSM2 token
// standing in for a smart card (keys made on it, PIN 1234) and a test-built
// driver that never returns from C_Initialize, registered first. The probe is
// the build tree's, run through a script that notes each run (its process
// and the library it tries), so that the tests can tell which probes ran and
// whether one is still running.
#include "ModalDriver.h"
#include "certificates/ListingFixtures.h"
#include "certificates/ModuleProbe.h"
#include "certificates/TestNssDatabase.h"
#include "tools/testpeers/TestPki.h"

#include "app/windows/uFSeleccionCertificado.h"
#include "support/TestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <csignal>

using namespace cto;
using cto::test::onNextModal;
using cto::test::writeFile;

namespace {

const QString kSearching = QString::fromUtf8("Buscando tarjetas…");
const QString kHangingNote = QString::fromUtf8("El módulo de tarjeta «Lector colgado» no responde; sus "
                                               "certificados no se listan (no respondió en 5 s)");

QTreeWidget* listOf(QWidget* dialog) {
    return dialog->findChild<QTreeWidget*>(QStringLiteral("lvCertificados"));
}

QStringList rowsOf(QWidget* dialog) {
    QStringList rows;
    const QTreeWidget* list = listOf(dialog);
    for (int index = 0; index < list->topLevelItemCount(); ++index)
        rows << list->topLevelItem(index)->text(1);
    return rows;
}

QStringList linesOf(QWidget* dialog) {
    QStringList lines;
    const auto* area = dialog->findChild<QWidget*>(QStringLiteral("notas"));
    if (!area->isVisible())
        return lines;
    for (const QLabel* line : area->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly)) {
        // Each line whole, within the area, and the buttons below them all.
        const bool whole =
            line->height() >= line->heightForWidth(line->width()) &&
            area->rect().contains(line->geometry()) &&
            dialog->findChild<QPushButton*>(QStringLiteral("bbCancelar"))->y() > area->geometry().bottom();
        lines << (whole ? line->text() : QStringLiteral("cut: ") + line->text());
    }
    return lines;
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int painted = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++painted;
        return false;
    }
};

} // namespace

class TestCertificateDialogCards : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup() { test::cancelPendingModalSteps(); }

    void cardRowsJoinWhileADriverHangs();

private:
    QTemporaryDir folder_;
    std::unique_ptr<test::TestPki> pki_;
    QString database_;
    QString runs_; // the probe's runs: "<process> <library>", a line each

    QString path(const QString& relative) const { return folder_.filePath(relative); }

    // The probe runs noted so far that tried the library.
    QList<qint64> probeRunsOf(const QString& library) const {
        QList<qint64> processes;
        QFile file(runs_);
        if (!file.open(QIODevice::ReadOnly))
            return processes;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() == 2 && QString::fromUtf8(fields[1]) == library)
                processes << fields[0].toLongLong();
        }
        return processes;
    }

    int probeRuns() const {
        QFile file(runs_);
        return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\n')) : 0;
    }
};

void TestCertificateDialogCards::initTestCase() {
    QVERIFY(folder_.isValid());
    pki_ = std::make_unique<test::TestPki>();
    test::makeTestToken({"--label", "Tarjeta CTO", path("token"),
                         QString::fromStdString(pki_->caCertificatePath()),
                         QString::fromStdString(pki_->caKeyPath())});
    qputenv("SOFTHSM2_CONF", path("token/softhsm2.conf").toUtf8());
    QFile modulePath(path("token/module-path"));
    QVERIFY(modulePath.open(QIODevice::ReadOnly));
    const QByteArray softhsm = modulePath.readAll().trimmed();

    database_ = path("nssdb");
    test::makeEmptyNssDatabase(database_);
    const test::IssuedCertificate issued = pki_->issueClientCertificate("Titular Escritorio");
    test::importPkcs12(database_, QString::fromStdString(issued.pkcs12Path),
                       QString::fromStdString(issued.pkcs12Password));
    // The hanging driver first: tried one after the other, the card would wait for it.
    test::appendFile(database_ + "/pkcs11.txt",
                     "\nlibrary=" CTO_HANGING_MODULE "\nname=Lector colgado\n\nlibrary=" + softhsm +
                         "\nname=SoftHSM\n\n");

    runs_ = path("probe-runs.txt");
    const QString wrapper = path("probe-wrapper.sh");
    writeFile(wrapper, ("#!/bin/sh\n"
                        // The program hands the probe the library as the file it checked, open.
                        "echo \"$$ $(readlink -f \"$2\")\" >>'" +
                        runs_ + "'\nexec '" CTO_MODULE_PROBE "' \"$@\"\n")
                           .toUtf8());
    QVERIFY(QFile::setPermissions(wrapper, QFile::permissions(wrapper) | QFile::ExeOwner));
    setModuleProbePath(wrapper);
    qputenv("CTO_NSS_DATABASE", database_.toUtf8());
}

void TestCertificateDialogCards::init() {
    qputenv("XDG_CACHE_HOME", path("cache").toUtf8());
}

// The dialog shows the database's rows at once, with a line while the card
// modules are tried; the card's rows join while the hanging driver's probe
// still runs (so the modules are tried side by side, and the window answers
// meanwhile), without taking the row the user selected; once the hanging
// probe is stopped a line names the driver, and Aceptar takes the user's row.
void TestCertificateDialogCards::cardRowsJoinWhileADriverHangs() {
    TFSeleccionCertificado dialog;
    const QSignalSpy joined(&dialog, &TFSeleccionCertificado::cardsJoined);
    const QSignalSpy finished(&dialog, &TFSeleccionCertificado::cardSearchFinished);
    QStringList shownRows, shownLines, joinedRows, finalLines;
    bool hangingProbeRanWhenCardsJoined = false, paintedWhileHanging = false, hungAllAlong = false;
    qint64 windowAnsweredWithin = -1;
    QString chosenRow;
    // The window answers at once all along, from the moment it is
    // shown, while the driver hangs and as the card's rows join (what a screen
    // reader asks goes through the same loop): the longest time between two
    // turns of its loop.
    QElapsedTimer sinceTurn, watching;
    qint64 longestTurn = 0;
    QTimer turns;
    turns.setInterval(5);
    connect(&turns, &QTimer::timeout, this,
            [&] { longestTurn = std::max(longestTurn, sinceTurn.restart()); });
    onNextModal<TFSeleccionCertificado>([&](TFSeleccionCertificado* d) {
        shownRows = rowsOf(d);
        shownLines = linesOf(d);
        QVERIFY(d->searchingCards());
        // The user picks the database's row before any card joins.
        QTreeWidget* list = listOf(d);
        list->setFocus();
        list->setCurrentItem(list->topLevelItem(0), 1);
        chosenRow = list->currentItem()->text(1);

        const auto hangingProbeRunning = [this] {
            const QList<qint64> runs = probeRunsOf(CTO_HANGING_MODULE);
            if (runs.size() != 1)
                return false;
            // A stopped probe is reaped at once: alive, or not yet reaped, means it still runs.
            QFile state(QStringLiteral("/proc/%1/stat").arg(runs.front()));
            return state.open(QIODevice::ReadOnly) && !state.readAll().contains(") Z ");
        };
        // The window paints while the driver hangs.
        QTRY_VERIFY_WITH_TIMEOUT(hangingProbeRunning() || finished.count() > 0, 20000);
        PaintCounter counter;
        list->viewport()->installEventFilter(&counter);
        list->viewport()->update();
        QTRY_VERIFY_WITH_TIMEOUT(counter.painted > 0 || finished.count() > 0, 20000);
        paintedWhileHanging = counter.painted > 0 && hangingProbeRunning();
        list->viewport()->removeEventFilter(&counter);

        QTRY_VERIFY_WITH_TIMEOUT(rowsOf(d).size() > 1 || finished.count() > 0, 20000);
        hangingProbeRanWhenCardsJoined = hangingProbeRunning() && d->searchingCards();
        QTest::qWait(int(std::max<qint64>(0, 1500 - watching.elapsed()))); // a while of hanging, at the least
        turns.stop();
        // A stall that the last wait ended in counts too.
        windowAnsweredWithin = std::max(longestTurn, sinceTurn.elapsed());
        hungAllAlong = hangingProbeRunning();
        joinedRows = rowsOf(d);
        QCOMPARE(list->selectedItems().size(), 1);
        QCOMPARE(list->selectedItems().front()->text(1), chosenRow);
        QCOMPARE(list->currentItem()->text(1), chosenRow);

        QTRY_VERIFY_WITH_TIMEOUT(finished.count() == 1, 20000);
        QCOMPARE(probeRunsOf(CTO_HANGING_MODULE).size(), 1);
        finalLines = linesOf(d);
        QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("bbAceptar")), Qt::LeftButton);
    });
    sinceTurn.start();
    watching.start();
    turns.start();
    QCOMPARE(dialog.ShowModal(), int(mrOk));

    QCOMPARE(shownRows, QStringList{"Titular Escritorio"});
    QCOMPARE(shownLines, QStringList{kSearching});
    // The window is held to 100 ms (10-25 ms here, sanitizers included); the
    // test allows a machine whose cores are busy elsewhere ten times that,
    // still far below the 5 s that a wait for the probe would stand still.
    qInfo("longest turn of the window's loop while the driver hung: %lld ms", windowAnsweredWithin);
    QVERIFY2(windowAnsweredWithin >= 0 && windowAnsweredWithin < 1000,
             qPrintable(QStringLiteral("the window's loop stood still %1 ms").arg(windowAnsweredWithin)));
    QVERIFY(hungAllAlong);
    QVERIFY(paintedWhileHanging);
    QVERIFY(hangingProbeRanWhenCardsJoined);
    QCOMPARE(joinedRows.size(), 4);
    QCOMPARE(joinedRows.front(), QStringLiteral("Titular Escritorio"));
    QVERIFY(joined.count() >= 1);
    QCOMPARE(finalLines, QStringList{kHangingNote});
    QCOMPARE(dialog.usNombreCertificadoSeleccionado, chosenRow);
    QCOMPARE(dialog.usUbicacionCertificadoSeleccionado, QStringLiteral("Chromium / escritorio"));

    // Shown again: both modules are remembered, the hanging one as failed, so
    // no probe runs, and the line names the driver again.
    const int runsBefore = probeRuns();
    QStringList rows, lines;
    onNextModal<TFSeleccionCertificado>([&](TFSeleccionCertificado* d) {
        QTRY_VERIFY_WITH_TIMEOUT(finished.count() == 2, 20000);
        rows = rowsOf(d);
        lines = linesOf(d);
        d->close();
    });
    QCOMPARE(dialog.ShowModal(), int(mrCancel));
    QCOMPARE(rows, joinedRows);
    QCOMPARE(lines, QStringList{kHangingNote});
    QCOMPARE(probeRuns(), runsBefore);
}

CTO_TEST_MAIN(TestCertificateDialogCards)
#include "tst_certificate_dialog_cards.moc"
