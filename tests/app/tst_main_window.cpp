// The main window as built: captions, sizes, positions, faces, colours, tab
// order, the close button and the plain message box.
#include "app/windows/PlainMessageBox.h"
#include "app/windows/uFConexionTulvaOskel.h"
#include "common/ApplicationTitle.h"
#include "support/TestMain.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QTextDocument>

#include <memory>
#include <optional>

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
    void longTextNeverLaidOutInTheLabel_data();
    void longTextNeverLaidOutInTheLabel();

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

namespace {

// The process's peak resident memory since the last reset, in kilobytes.
std::optional<qint64> peakMemoryKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return std::nullopt;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return std::nullopt;
}

bool resetPeakMemory() {
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

// Records the order of what happens to the box and its label.
class ShowWatcher : public QObject {
public:
    ShowWatcher(QMessageBox& box, QLabel& label) : box_(box), label_(label) {
        box.installEventFilter(this);
        label.installEventFilter(this);
    }
    bool labelShown = false;
    bool viewReadyBeforeShow = false;
    bool boxShown = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched == &label_)
            labelShown = true;
        if (event->type() == QEvent::Show && watched == &box_ && !boxShown) {
            boxShown = true;
            viewReadyBeforeShow =
                box_.findChild<QPlainTextEdit*>(QStringLiteral("ctoMessageText")) && label_.isHidden();
        }
        return false;
    }

private:
    QMessageBox& box_;
    QLabel& label_;
};

} // namespace

void TestMainWindow::longTextNeverLaidOutInTheLabel_data() {
    QTest::addColumn<QString>("text");
    constexpr qsizetype kSize = 9 * 1024 * 1024;
    QString oneLine;
    oneLine.reserve(kSize);
    while (oneLine.size() < kSize)
        oneLine += QStringLiteral("Recibida la encuesta del establecimiento numero 1234567. ");
    QTest::newRow("9 MB acknowledgement on one line") << oneLine;
    QString lines;
    lines.reserve(kSize);
    while (lines.size() < kSize)
        lines += QStringLiteral("Linea del resguardo de envio\r");
    QTest::newRow("9 MB in short lines") << lines;
    QStringList few;
    for (int line = 0; line < 200; ++line)
        few << QStringLiteral("L%1").arg(line);
    QTest::newRow("200 lines of a few letters") << few.join(QLatin1Char('\r'));
}

// A text of megabytes goes to the scrolling view before the box is first
// shown: the label, where Qt would lay the whole text out to measure it, is
// never shown nor given a document. The box then shows within a bounded
// memory, the text whole in the view.
void TestMainWindow::longTextNeverLaidOutInTheLabel() {
    QFETCH(QString, text);
    const bool canWeigh = resetPeakMemory();
    const std::optional<qint64> before = peakMemoryKb();
    {
        cto::PlainMessageBox box(text, nullptr);
        auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        QVERIFY(label);
        ShowWatcher watcher(box, *label);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QCoreApplication::processEvents();
        QVERIFY(watcher.boxShown);
        QVERIFY(watcher.viewReadyBeforeShow);
        QVERIFY(!watcher.labelShown);
        QVERIFY(label->findChildren<QTextDocument*>().isEmpty());
        QCOMPARE(box.text(), text);
        auto* view = box.findChild<QPlainTextEdit*>(QStringLiteral("ctoMessageText"));
        QVERIFY(view->isVisible());
        QVERIFY(view->verticalScrollBar()->maximum() > 0);
        QVERIFY(box.screen()->availableGeometry().contains(box.frameGeometry()));
        QVERIFY(box.button(QMessageBox::Ok)->isVisible());
        // A copy of it all is the text as given, its line breaks as line feeds.
        view->selectAll();
        view->copy();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QString(text).replace(QLatin1Char('\r'), QLatin1Char('\n')));
        // The end of the text can be scrolled to and read.
        view->moveCursor(QTextCursor::End);
        view->ensureCursorVisible();
        QCoreApplication::processEvents();
        QVERIFY(view->textCursor().atEnd());
    }
    if (!canWeigh || !before)
        QSKIP("this kernel does not report peak memory");
    // The text itself, in UTF-16, is held by the caller, the label and the
    // view's document: no more than a few copies, where a layout of it took
    // hundreds of megabytes.
    const qint64 grownKb = *peakMemoryKb() - *before;
    const qint64 textKb = text.size() * 2 / 1024;
    QVERIFY2(grownKb < 4 * textKb + 64 * 1024,
             qPrintable(QStringLiteral("grew %1 KB for a text of %2 KB").arg(grownKb).arg(textKb)));
}

CTO_TEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
