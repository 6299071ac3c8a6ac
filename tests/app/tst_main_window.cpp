// The main window as built: captions, sizes, positions, faces, colours, tab
// order, the close button and the plain message box.
#include "app/PlainMessageBox.h"
#include "app/uFConexionTulvaOskel.h"
#include "common/ApplicationTitle.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

#include <memory>

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void windowHoldsItsSize();
    void placement_data();
    void placement();
    void textsFacesAndColours();
    void tabOrderAndFocus();
    void centredWhenShown();
    void closeButtonAndEnterRequestTermination_data();
    void closeButtonAndEnterRequestTermination();

    void plainMessageBox();
    void loneCarriageReturnIsALineBreakInEveryStyle_data();
    void loneCarriageReturnIsALineBreakInEveryStyle();

private:
    template <typename W> W* child(const char* name) const {
        W* widget = window_->findChild<W*>(QLatin1String(name));
        if (!widget)
            qFatal("no %s", name);
        return widget;
    }

    std::unique_ptr<TFConexionTulvaOskel> window_;
};

void TestMainWindow::init() {
    window_ = std::make_unique<TFConexionTulvaOskel>();
    // The layout is under test here, not the run.
    window_->detachActivationHandler();
}

void TestMainWindow::cleanup() {
    window_.reset();
}

void TestMainWindow::windowHoldsItsSize() {
    QCOMPARE(window_->windowTitle(), QStringLiteral("Conexión y envio a OSKEL"));
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    QCOMPARE(window_->size(), QSize(484, 361));
    QCOMPARE(window_->minimumSize(), QSize(484, 361));
    QCOMPARE(window_->maximumSize(), QSize(484, 361));
    window_->resize(700, 500);
    QCOMPARE(window_->size(), QSize(484, 361));
    window_->resize(100, 100);
    QCOMPARE(window_->size(), QSize(484, 361));
}

void TestMainWindow::placement_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("band") << "JvGradientHeaderPanel1" << QRect(0, 0, 484, 41);
    QTest::newRow("title") << "Label18" << QRect(110, 9, 356, 24);
    QTest::newRow("logo") << "icono" << QRect(17, 4, 77, 32);
    QTest::newRow("log") << "Memo1" << QRect(8, 47, 468, 272);
    QTest::newRow("close") << "bFin" << QRect(157, 325, 171, 30);
}

void TestMainWindow::placement() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    auto* widget = window_->findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
}

void TestMainWindow::textsFacesAndColours() {
    QCOMPARE(window_->font().family(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(window_->font().pixelSize(), 11);

    auto* title = child<QLabel>("Label18");
    QCOMPARE(title->parentWidget()->objectName(), QStringLiteral("JvGradientHeaderPanel1"));
    QCOMPARE(title->text(), QStringLiteral("ENVÍO AUTOMÁTICO DE ESTADÍSTICA"));
    QCOMPARE(title->alignment(), Qt::AlignCenter);
    QCOMPARE(title->font().pixelSize(), 20);
    QVERIFY(title->font().bold() && title->font().italic());
    // Drawn white on the band: some of the title's pixels are near white.
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    const QImage band = child<QWidget>("JvGradientHeaderPanel1")->grab().toImage();
    int whitish = 0;
    for (int y = title->y(); y < title->y() + title->height(); ++y)
        for (int x = title->x(); x < title->x() + title->width(); ++x)
            whitish += QColor(band.pixel(x, y)).lightness() > 230 ? 1 : 0;
    QVERIFY2(whitish > 200, qPrintable(QString::number(whitish)));
    // The title fits its label in the face that stands in for the designed one.
    QVERIFY(title->fontMetrics().horizontalAdvance(title->text()) <= title->width());

    const QPixmap logo = child<QLabel>("icono")->pixmap();
    QCOMPARE(logo.size(), QSize(77, 32));
    QVERIFY(logo.hasAlphaChannel());

    auto* memo = child<QPlainTextEdit>("Memo1");
    QVERIFY(memo->isReadOnly());
    QVERIFY(memo->toPlainText().isEmpty());

    auto* close = child<QPushButton>("bFin");
    QCOMPARE(close->text(), QStringLiteral("&Cerrar"));
    QVERIFY(close->isDefault());
    QCOMPARE(close->cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(close->font().bold());
    QCOMPARE(close->font().pixelSize(), 11);
    QCOMPARE(close->iconSize(), QSize(22, 22));
    QCOMPARE(close->icon().pixmap(22, 22).size(), QSize(22, 22));
}

void TestMainWindow::tabOrderAndFocus() {
    window_->show();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    auto* memo = child<QPlainTextEdit>("Memo1");
    auto* close = child<QPushButton>("bFin");
    QCOMPARE(QApplication::focusWidget(), memo);
    QTest::keyClick(memo, Qt::Key_Tab); // the log takes no tabs
    QCOMPARE(QApplication::focusWidget(), close);
    QTest::keyClick(close, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), memo);
    QCOMPARE(child<QWidget>("JvGradientHeaderPanel1")->focusPolicy(), Qt::NoFocus);
}

void TestMainWindow::centredWhenShown() {
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    const QRect screen = window_->screen()->availableGeometry();
    const QPoint offset = window_->frameGeometry().center() - screen.center();
    QVERIFY2(offset.manhattanLength() <= 1,
             qPrintable(QStringLiteral("%1, %2").arg(offset.x()).arg(offset.y())));
}

void TestMainWindow::closeButtonAndEnterRequestTermination_data() {
    QTest::addColumn<bool>("byKey");
    QTest::newRow("click") << false;
    QTest::newRow("Enter in the log") << true;
}

void TestMainWindow::closeButtonAndEnterRequestTermination() {
    QFETCH(bool, byKey);
    QSignalSpy terminations(window_.get(), &TFConexionTulvaOskel::terminationRequested);
    window_->show();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    if (byKey)
        QTest::keyClick(child<QPlainTextEdit>("Memo1"), Qt::Key_Return);
    else
        QTest::mouseClick(child<QPushButton>("bFin"), Qt::LeftButton);
    QTRY_COMPARE(terminations.count(), 1);
}

void TestMainWindow::plainMessageBox() {
    cto::PlainMessageBox box(QStringLiteral("uno\rdos"), window_.get());
    QCOMPARE(box.text(), QStringLiteral("uno\rdos"));
    QCOMPARE(box.windowTitle(),
             cto::applicationTitle(QFileInfo(QCoreApplication::applicationFilePath()).fileName()));
    QCOMPARE(box.icon(), QMessageBox::NoIcon);
    QCOMPARE(box.buttons().size(), 1);
    QVERIFY(box.button(QMessageBox::Ok));
    QVERIFY(box.button(QMessageBox::Ok)->icon().isNull());
    QCOMPARE(box.windowModality(), Qt::ApplicationModal);

    // Centred over its window once it has taken its size.
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    box.setText(
        QStringLiteral("Un aviso bastante mas largo que la ventana principal, para que la caja crezca al "
                       "mostrarse\rY una segunda linea"));
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const QPoint offset = box.frameGeometry().center() - window_->frameGeometry().center();
    QVERIFY2(offset.manhattanLength() <= 1,
             qPrintable(QStringLiteral("%1, %2").arg(offset.x()).arg(offset.y())));
}

void TestMainWindow::loneCarriageReturnIsALineBreakInEveryStyle_data() {
    QTest::addColumn<QString>("style");
    for (const QString& key : QStyleFactory::keys())
        QTest::newRow(qPrintable(key)) << key;
}

// Painted, a lone CR must look exactly like a line feed does.
void TestMainWindow::loneCarriageReturnIsALineBreakInEveryStyle() {
    QFETCH(QString, style);
    std::unique_ptr<QStyle> theStyle(QStyleFactory::create(style));
    const auto render = [&](const QString& text) {
        cto::PlainMessageBox box(text, nullptr);
        box.setStyle(theStyle.get());
        box.show();
        auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        return label->grab().toImage();
    };
    const QImage withCarriageReturn = render(QStringLiteral("Primera linea del aviso\rSegunda"));
    const QImage withLineFeed = render(QStringLiteral("Primera linea del aviso\nSegunda"));
    const QImage onOneLine = render(QStringLiteral("Primera linea del aviso Segunda"));
    QVERIFY(withCarriageReturn.height() > onOneLine.height());
    QCOMPARE(withCarriageReturn, withLineFeed);
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
