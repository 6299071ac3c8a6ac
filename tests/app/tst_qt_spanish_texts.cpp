// Qt's own texts in the program's windows read in Spanish after the
// program's set-up, on a desktop whose language is not Spanish (the test runs
// with LC_ALL=C).
#include "app/windows/PlainMessageBox.h"
#include "app/windows/QtSpanishTexts.h"
#include "app/windows/TSaveDialog.h"
#include "app/windows/uFConexionTulvaOskel.h"
#include "support/TestMain.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QListView>
#include <QMap>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>

class TestQtSpanishTexts : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void messageBoxButton();
    void saveDialog_data();
    void saveDialog();
    void logContextMenu();
    void saveDialogDatesInSpanishForm();
};

void TestQtSpanishTexts::initTestCase() {
    QVERIFY2(cto::installQtSpanishTexts(*qApp),
             "Qt's Spanish translation is missing: install qt6-translations-l10n (scripts/install-deps.sh)");
}

// The program's message boxes: their one button is Qt's standard OK.
void TestQtSpanishTexts::messageBoxButton() {
    cto::PlainMessageBox box(QStringLiteral("Aviso"), nullptr);
    QCOMPARE(box.button(QMessageBox::Ok)->text(), QStringLiteral("Aceptar"));
}

namespace {

// What the save dialog shows, by part: its labels by object name, its buttons
// by role, its list's columns and the first place in its sidebar.
QMap<QString, QString> saveDialogTexts(const QFileDialog& dialog) {
    QMap<QString, QString> texts;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        texts.insert(label->objectName(), label->text());
    if (const auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox")))
        for (QAbstractButton* button : buttons->buttons())
            texts.insert(buttons->buttonRole(button) == QDialogButtonBox::AcceptRole
                             ? QStringLiteral("accept")
                             : QStringLiteral("reject"),
                         button->text());
    if (const auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView")))
        for (int column = 0; column < list->model()->columnCount(); ++column)
            texts.insert(QStringLiteral("column %1").arg(column),
                         list->model()->headerData(column, Qt::Horizontal).toString());
    if (const auto* sidebar = dialog.findChild<QListView*>(QStringLiteral("sidebar")))
        texts.insert(QStringLiteral("sidebar"), sidebar->model()->index(0, 0).data().toString());
    return texts;
}

} // namespace

void TestQtSpanishTexts::saveDialog_data() {
    QTest::addColumn<QString>("part");
    QTest::addColumn<QString>("text");
    QTest::newRow("look in") << "lookInLabel" << QStringLiteral("Ver en:");
    QTest::newRow("file name") << "fileNameLabel" << QStringLiteral("&Nombre de fichero:");
    QTest::newRow("file type") << "fileTypeLabel" << QStringLiteral("Ficheros de tipo:");
    QTest::newRow("save") << "accept" << QStringLiteral("&Guardar");
    QTest::newRow("cancel") << "reject" << QStringLiteral("Cancelar");
    QTest::newRow("name column") << "column 0" << QStringLiteral("Nombre");
    QTest::newRow("size column") << "column 1" << QStringLiteral("Tamaño");
    QTest::newRow("type column") << "column 2" << QStringLiteral("Tipo");
    QTest::newRow("date column") << "column 3" << QStringLiteral("Última modificación");
    QTest::newRow("sidebar") << "sidebar" << QStringLiteral("Equipo");
}

// The program's own save dialog (Qt's, not the desktop's), as it configures it.
void TestQtSpanishTexts::saveDialog() {
    QFETCH(QString, part);
    QFETCH(QString, text);
    QFileDialog dialog;
    TSaveDialog().configure(dialog);
    QCOMPARE(saveDialogTexts(dialog).value(part), text);
}

// The log's right-click menu: what a user copies a failure with.
void TestQtSpanishTexts::logContextMenu() {
    TFConexionTulvaOskel window;
    window.detachActivationHandler();
    window.appendLog(QStringLiteral("Configurando conexión con OSKEL..."));
    auto* log = window.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
    QVERIFY(log);
    const std::unique_ptr<QMenu> menu(log->createStandardContextMenu());
    QStringList texts;
    for (const QAction* action : menu->actions())
        if (!action->isSeparator())
            texts << action->text().section(QLatin1Char('\t'), 0, 0); // without the shortcut
    QVERIFY2(texts.contains(QStringLiteral("&Copiar")), qPrintable(texts.join(QLatin1String(", "))));
    QVERIFY2(texts.contains(QStringLiteral("Seleccionar todo")), qPrintable(texts.join(QLatin1String(", "))));
}

// A file's date in the save dialog's list as a Spanish reader writes it
// ("11/12/26 5:33"), not as the C locale does ("12/11/26 5:33 AM").
void TestQtSpanishTexts::saveDialogDatesInSpanishForm() {
    QTemporaryDir folder;
    QFile receipt(folder.filePath(QStringLiteral("Envio2026-000123.xml")));
    QVERIFY(receipt.open(QIODevice::WriteOnly));
    const QDateTime modified(QDate(2026, 12, 11), QTime(5, 33, 22));
    QVERIFY(receipt.setFileTime(modified, QFileDevice::FileModificationTime));
    receipt.close();
    QFileDialog dialog;
    TSaveDialog settings;
    settings.FileName = folder.filePath(QStringLiteral("Envio.xml"));
    settings.configure(dialog);
    dialog.setViewMode(QFileDialog::Detail);
    dialog.show();
    auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    QVERIFY(list);
    QString shown;
    (void)QTest::qWaitFor([&] {
        shown = list->model()->index(0, 3, list->rootIndex()).data().toString();
        return shown.contains(QLatin1Char('/'));
    });
    QCOMPARE(shown, QStringLiteral("11/12/26 5:33"));
}

CTO_TEST_MAIN(TestQtSpanishTexts)
#include "tst_qt_spanish_texts.moc"
