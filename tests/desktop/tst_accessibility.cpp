// What a screen reader and a keyboard user meet: every control named, the
// main window a frame, the header images decoration, the closed certificate
// dialog out of reach, the certificate list's keyboard on the names, the
// keyboard focus on a button visible in every style.
#include "ProgramWindows.h"
#include "app/ModalDriver.h" // tests/app

#include "app/windows/look/Contrast.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QTreeWidget>

using namespace cto;
using cto::test::buildWindow;
using cto::test::onNextModal;

namespace {

QAccessibleInterface* accessible(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}

// The objects an assistive tool finds among the interface's children.
QObjectList childrenOf(QAccessibleInterface* parent) {
    QObjectList children;
    for (int i = 0; i < parent->childCount(); ++i)
        if (QAccessibleInterface* child = parent->child(i))
            children << child->object();
    return children;
}

QTreeWidget* listOf(QWidget* dialog) {
    return dialog->findChild<QTreeWidget*>(QStringLiteral("lvCertificados"));
}

// The deepest focused object of a window, where a screen reader is.
QAccessibleInterface* focusedObject(QWidget* window) {
    QAccessibleInterface* focused = accessible(window);
    while (QAccessibleInterface* inner = focused->focusChild()) {
        if (inner == focused)
            break;
        focused = inner;
    }
    return focused;
}

// What a screen reader says for the keyboard's position in a window.
QString spokenFocus(QWidget* window) {
    return focusedObject(window)->text(QAccessible::Name);
}

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { cto::test::cancelPendingModalSteps(); }

    void windowsAndControlsSpeakTheirNames_data();
    void windowsAndControlsSpeakTheirNames();
    void everyFocusableControlHasAName_data();
    void everyFocusableControlHasAName();
    void headerImagesAreDecoration_data();
    void headerImagesAreDecoration();

    void closedCertificateDialogLeavesTheTree();
    void certificateDialogOpensOnTheFirstName();
    void typingANameFindsIt_data();
    void typingANameFindsIt();

    void focusedButtonShowsARing_data();
    void focusedButtonShowsARing();

private:
    std::unique_ptr<cto::test::TestCertificateStore> store_;
};

void TestAccessibility::initTestCase() {
    store_ = std::make_unique<cto::test::TestCertificateStore>();
}

void TestAccessibility::windowsAndControlsSpeakTheirNames_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("object"); // empty: the window itself
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("name");
    // A frame on AT-SPI, as a main window is announced; Qt would make a plain
    // top-level widget a "client", which AT-SPI calls a filler.
    QTest::newRow("main window") << "main"
                                 << "" << int(QAccessible::Window) << "Conexión y envio a OSKEL";
    QTest::newRow("log") << "main"
                         << "Memo1" << int(QAccessible::EditableText) << "Registro del envío";
    QTest::newRow("close button") << "main"
                                  << "bFin" << int(QAccessible::Button) << "Cerrar";
    QTest::newRow("certificate dialog") << "certificates"
                                        << "" << int(QAccessible::Dialog) << "Selección de Certificado";
    QTest::newRow("certificate list") << "certificates"
                                      << "lvCertificados" << int(QAccessible::Tree) << "Certificados";
    QTest::newRow("password field") << "password"
                                    << "eContrasena" << int(QAccessible::EditableText) << "Contraseña:";
    QTest::newRow("user field") << "credentials"
                                << "eUsuario" << int(QAccessible::EditableText) << "Usuario:";
}

void TestAccessibility::windowsAndControlsSpeakTheirNames() {
    QFETCH(QString, window);
    QFETCH(QString, object);
    QFETCH(int, role);
    QFETCH(QString, name);
    const std::unique_ptr<QWidget> built = buildWindow(window);
    QWidget* widget = object.isEmpty() ? built.get() : built->findChild<QWidget*>(object);
    QVERIFY(widget);
    QAccessibleInterface* described = accessible(widget);
    QCOMPARE(int(described->role()), role);
    QCOMPARE(described->text(QAccessible::Name), name);
}

void TestAccessibility::everyFocusableControlHasAName_data() {
    cto::test::addWindowRows();
}

void TestAccessibility::everyFocusableControlHasAName() {
    QFETCH(QString, window);
    const std::unique_ptr<QWidget> built = buildWindow(window);
    QStringList unnamed;
    for (QWidget* widget : built->findChildren<QWidget*>()) {
        if (!(widget->focusPolicy() & Qt::TabFocus) || !widget->isVisibleTo(built.get()))
            continue;
        if (accessible(widget)->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << widget->objectName();
    }
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
}

void TestAccessibility::headerImagesAreDecoration_data() {
    cto::test::addWindowRows();
}

void TestAccessibility::headerImagesAreDecoration() {
    QFETCH(QString, window);
    const std::unique_ptr<QWidget> built = buildWindow(window);
    auto* image = built->findChild<QLabel*>(QStringLiteral("icono"));
    QAccessibleInterface* described = accessible(image);
    QCOMPARE(described->role(), QAccessible::Graphic);
    QCOMPARE(described->text(QAccessible::Name), QString());
    QCOMPARE(described->text(QAccessible::Description), QString());
    QVERIFY(!described->state().focusable);
    // The band still speaks: its title is text a screen reader reads.
    auto* title = built->findChild<QLabel*>(QStringLiteral("Label18"));
    QCOMPARE(accessible(title)->role(), QAccessible::StaticText);
    QCOMPARE(accessible(title)->text(QAccessible::Name), title->text());
}

void TestAccessibility::closedCertificateDialogLeavesTheTree() {
    // As at start-up: the dialog made hidden, a child of the main window.
    const std::unique_ptr<QWidget> main = buildWindow(QStringLiteral("main"));
    auto* dialog = new TFSeleccionCertificado(main.get());
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main.get()));
    QAccessibleInterface* application = accessible(qApp);
    QVERIFY(childrenOf(application).contains(main.get()));
    QVERIFY(!childrenOf(application).contains(dialog));
    QVERIFY(!childrenOf(accessible(main.get())).contains(dialog));

    // Shown, it is there to be read; closed, it goes; shown again, it is back.
    for (int showing = 1; showing <= 2; ++showing) {
        bool listed = false;
        onNextModal<TFSeleccionCertificado>([&](TFSeleccionCertificado* shown) {
            listed = childrenOf(application).contains(shown);
            QCOMPARE(QApplication::focusWidget(), listOf(shown));
            shown->findChild<QPushButton*>(QStringLiteral("bbCancelar"))->click();
        });
        QCOMPARE(dialog->ShowModal(), int(mrAbort));
        QVERIFY2(listed, qPrintable(QStringLiteral("showing %1").arg(showing)));
        QTRY_VERIFY(!childrenOf(application).contains(dialog));
        QVERIFY(!childrenOf(accessible(main.get())).contains(dialog));
    }
}

void TestAccessibility::certificateDialogOpensOnTheFirstName() {
    TFSeleccionCertificado dialog;
    onNextModal<TFSeleccionCertificado>([](TFSeleccionCertificado* shown) {
        QTreeWidget* list = listOf(shown);
        QCOMPARE(list->currentIndex().row(), 0);
        QCOMPARE(list->currentIndex().column(), 1);
        // The name with what tells it from its namesake, and that it expired.
        const QString spoken = spokenFocus(shown);
        QVERIFY2(spoken.startsWith(QString::fromUtf8("Cliente Prueba · serie ")) &&
                     spoken.endsWith(QStringLiteral(" (caducado)")),
                 qPrintable(spoken));
        // What tells the row from its namesake, which the mouse finds in the
        // tooltip, a screen reader reads as the row's description.
        const QString description = focusedObject(shown)->text(QAccessible::Description);
        QCOMPARE(description, list->currentItem()->toolTip(1));
        for (const char* detail :
             {"Titular: ", "Emisor: ", "Número de serie: ", "Válido desde el ", "Ubicación: "})
            QVERIFY2(description.contains(QString::fromUtf8(detail)), qPrintable(description));
        // The keyboard is on the row; nothing is chosen until the user moves or types.
        QVERIFY(list->selectedItems().isEmpty());
        shown->close();
    });
    dialog.ShowModal();
}

void TestAccessibility::typingANameFindsIt_data() {
    QTest::addColumn<int>("clickedRow"); // -1: no click before typing
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("found");
    QTest::newRow("one letter") << -1 << "p" << QString::fromUtf8("Peña Muñoz");
    QTest::newRow("a longer start, any case")
        << -1 << QString::fromUtf8("PEÑA M") << QString::fromUtf8("Peña Muñoz");
    QTest::newRow("the first of two alike") << -1 << "cliente"
                                            << "Cliente Prueba";
    QTest::newRow("no such name stays put") << -1 << "x"
                                            << "Cliente Prueba";
    // A click on the empty first column leaves the keyboard on the names.
    QTest::newRow("after a click on the first column") << 2 << "pe" << QString::fromUtf8("Peña Muñoz");
}

void TestAccessibility::typingANameFindsIt() {
    QFETCH(int, clickedRow);
    QFETCH(QString, typed);
    QFETCH(QString, found);
    TFSeleccionCertificado dialog;
    onNextModal<TFSeleccionCertificado>([&](TFSeleccionCertificado* shown) {
        QTreeWidget* list = listOf(shown);
        if (clickedRow >= 0) {
            const QRect cell = list->visualRect(list->model()->index(clickedRow, 0));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
        }
        QTest::keyClicks(list, typed);
        QCOMPARE(list->currentIndex().column(), 1);
        QCOMPARE(list->currentItem()->text(1), found);
        QVERIFY2(spokenFocus(shown).startsWith(found), qPrintable(spokenFocus(shown)));
        shown->close();
    });
    dialog.ShowModal();
}

void TestAccessibility::focusedButtonShowsARing_data() {
    QTest::addColumn<QString>("style");
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("button");
    for (const QString& style : QStyleFactory::keys()) {
        // Both default buttons: a style that marks the default button may
        // draw it just as it draws the focused one.
        QTest::addRow("%s, Cancelar", qPrintable(style)) << style << "certificates"
                                                         << "bbCancelar";
        QTest::addRow("%s, Cerrar", qPrintable(style)) << style << "main"
                                                       << "bFin";
    }
}

void TestAccessibility::focusedButtonShowsARing() {
    QFETCH(QString, style);
    QFETCH(QString, window);
    QFETCH(QString, button);
    const std::unique_ptr<QStyle> theStyle(QStyleFactory::create(style));
    const std::unique_ptr<QWidget> shown = buildWindow(window);
    auto* pushButton = shown->findChild<QPushButton*>(button);
    pushButton->setStyle(theStyle.get());
    shown->show();
    QVERIFY(QTest::qWaitForWindowActive(shown.get()));

    QWidget* elsewhere =
        shown->findChild<QWidget*>(window == QLatin1String("main") ? "Memo1" : "lvCertificados");
    elsewhere->setFocus(Qt::TabFocusReason);
    QVERIFY(!pushButton->hasFocus());
    const QImage unfocused = pushButton->grab().toImage();
    pushButton->setFocus(Qt::TabFocusReason);
    QVERIFY(pushButton->hasFocus());
    const QImage focused = pushButton->grab().toImage();

    // On the ring, half way down the button's left side, the focused button
    // differs from the unfocused one by at least what an indicator needs.
    const QPoint onRing(4, pushButton->height() / 2);
    const double ratio = contrastRatio(focused.pixelColor(onRing), unfocused.pixelColor(onRing));
    QVERIFY2(ratio >= 3.0, qPrintable(QString::number(ratio)));
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
