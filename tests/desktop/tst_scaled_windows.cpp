// The windows on screens of 1, 2 and 1.5 device pixels per pixel (the program
// is built into one test for each): images drawn from their 2x files, frames
// whole, a message longer than the screen within it, the save dialog's
// columns whole.
#include "ProgramWindows.h"

#include "app/windows/PlainMessageBox.h"
#include "app/windows/QtSpanishTexts.h"
#include "app/windows/TSaveDialog.h"

#include <QApplication>
#include <QBackingStore>
#include <QClipboard>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

using namespace cto;
using cto::test::buildWindow;

namespace {

constexpr double kScale = CTO_TEST_SCALE;

// What the window shows, in device pixels, as its backing store holds it
// (the raster image the offscreen platform paints into): the children's
// clipping at fractional scales shows only there, not in QWidget::grab().
QImage onScreen(QWidget* window) {
    const auto* image = dynamic_cast<const QImage*>(window->backingStore()->paintDevice());
    return image ? image->copy() : QImage();
}

// An image's pixels alone, for comparing a drawn pixmap with a file.
QImage pixels(QImage image) {
    image.setDevicePixelRatio(1);
    return image.convertToFormat(QImage::Format_ARGB32);
}

// The darkest lightness in a band of device pixels across one edge of a
// widget: a frame's line is darker than what is on either side of it.
int darkestAcross(const QImage& shot, const QRectF& deviceRect, Qt::Edge edge) {
    int darkest = 255;
    const int middleX = qRound(deviceRect.center().x());
    const int middleY = qRound(deviceRect.center().y());
    for (int offset = -2; offset <= 2; ++offset) {
        QPoint at;
        switch (edge) {
        case Qt::LeftEdge:
            at = QPoint(qFloor(deviceRect.left()) + offset, middleY);
            break;
        case Qt::RightEdge:
            at = QPoint(qCeil(deviceRect.right()) - 1 + offset, middleY);
            break;
        case Qt::TopEdge:
            at = QPoint(middleX, qFloor(deviceRect.top()) + offset);
            break;
        case Qt::BottomEdge:
            at = QPoint(middleX, qCeil(deviceRect.bottom()) - 1 + offset);
            break;
        }
        if (shot.rect().contains(at))
            darkest = std::min(darkest, QColor(shot.pixel(at)).lightness());
    }
    return darkest;
}

} // namespace

class TestScaledWindows : public QObject {
    Q_OBJECT

public:
    static void initMain() { qputenv("QT_SCALE_FACTOR", QByteArray::number(kScale)); }

private slots:
    void initTestCase();

    void headerImageIsDrawnForTheScreen_data();
    void headerImageIsDrawnForTheScreen();
    void buttonGlyphsComeFromTheirSharpFiles();
    void everyImageHasItsTwiceAsLargeTwin_data();
    void everyImageHasItsTwiceAsLargeTwin();
    void framesStayWhole_data();
    void framesStayWhole();
    void everyWindowCarriesTheProgramIcon_data();
    void everyWindowCarriesTheProgramIcon();
    void messageStaysOnTheScreen_data();
    void messageStaysOnTheScreen();
    void saveDialogColumnsReadWhole();

private:
    std::unique_ptr<cto::test::TestCertificateStore> store_;
};

void TestScaledWindows::initTestCase() {
    QCOMPARE(qApp->devicePixelRatio(), kScale);
    store_ = std::make_unique<cto::test::TestCertificateStore>();
}

void TestScaledWindows::headerImageIsDrawnForTheScreen_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("image");
    QTest::newRow("main") << "main"
                          << ":/images/logo.png";
    for (const char* dialog : {"certificates", "password", "credentials"})
        QTest::newRow(dialog) << dialog << ":/certificates/certificate.png";
}

void TestScaledWindows::headerImageIsDrawnForTheScreen() {
    if (kScale == 1)
        QSKIP("one device pixel per pixel: the image is drawn from its own file");
    QFETCH(QString, window);
    QFETCH(QString, image);
    const std::unique_ptr<QWidget> shown = buildWindow(window);
    const QPixmap pixmap = shown->findChild<QLabel*>(QStringLiteral("icono"))->pixmap();
    const QSize logical = QImage(image).size();
    QCOMPARE(pixmap.devicePixelRatio(), kScale);
    QCOMPARE(pixmap.deviceIndependentSize().toSize(), logical);
    if (kScale == 2) {
        // The 2x file itself, not the 1x one blown up.
        const QString twin = QString(image).replace(QLatin1String(".png"), QLatin1String("@2x.png"));
        QCOMPARE(pixels(pixmap.toImage()), pixels(QImage(twin)));
    } else {
        // Scaled down from the 2x file: it has more detail than the 1x one
        // scaled up would (more distinct colours).
        QCOMPARE(pixmap.size(), (QSizeF(logical) * kScale).toSize());
        const auto colours = [](const QImage& picture) {
            QSet<QRgb> seen;
            for (int y = 0; y < picture.height(); ++y)
                for (int x = 0; x < picture.width(); ++x)
                    seen.insert(picture.pixel(x, y));
            return seen.size();
        };
        const QImage blownUp =
            QImage(image).scaled(pixmap.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
        QVERIFY(colours(pixmap.toImage()) > colours(blownUp));
    }
}

void TestScaledWindows::buttonGlyphsComeFromTheirSharpFiles() {
    const std::unique_ptr<QWidget> dialog = buildWindow(QStringLiteral("certificates"));
    const std::unique_ptr<QWidget> main = buildWindow(QStringLiteral("main"));
    const QList<QPair<QPushButton*, QString>> buttons = {
        {dialog->findChild<QPushButton*>(QStringLiteral("bbAceptar")), ":/images/tick@2x.png"},
        {dialog->findChild<QPushButton*>(QStringLiteral("bbCancelar")), ":/images/cross@2x.png"},
        {main->findChild<QPushButton*>(QStringLiteral("bFin")), ":/images/tick@2x.png"},
    };
    for (const auto& [button, twin] : buttons) {
        const QPixmap glyph = button->icon().pixmap(button->iconSize(), kScale);
        QCOMPARE(glyph.devicePixelRatio(), kScale);
        if (kScale == 2)
            QCOMPARE(pixels(glyph.toImage()), pixels(QImage(twin)));
    }
}

void TestScaledWindows::everyImageHasItsTwiceAsLargeTwin_data() {
    QTest::addColumn<QString>("image");
    for (const char* image :
         {":/images/logo.png", ":/images/tick.png", ":/images/cross.png", ":/certificates/certificate.png"})
        QTest::newRow(image) << image;
}

void TestScaledWindows::everyImageHasItsTwiceAsLargeTwin() {
    QFETCH(QString, image);
    const QImage single(image);
    const QImage twin(QString(image).replace(QLatin1String(".png"), QLatin1String("@2x.png")));
    QVERIFY(!single.isNull());
    QVERIFY(!twin.isNull());
    QCOMPARE(twin.size(), single.size() * 2);
    QCOMPARE(twin.devicePixelRatio(), 2.0); // Qt reads the scale from the name
    QVERIFY(twin.hasAlphaChannel());
}

void TestScaledWindows::framesStayWhole_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("framed");
    QTest::newRow("the log") << "main"
                             << "Memo1";
    QTest::newRow("the certificate list") << "certificates"
                                          << "lvCertificados";
    QTest::newRow("the password field") << "password"
                                        << "eContrasena";
}

void TestScaledWindows::framesStayWhole() {
    QFETCH(QString, window);
    QFETCH(QString, framed);
    const std::unique_ptr<QWidget> shown = buildWindow(window);
    shown->show();
    QVERIFY(QTest::qWaitForWindowExposed(shown.get()));
    auto* widget = shown->findChild<QWidget*>(framed);
    const QImage shot = onScreen(shown.get());
    const QRectF device(QPointF(widget->mapTo(shown.get(), QPoint(0, 0))) * kScale,
                        QSizeF(widget->size()) * kScale);
    const int background = shown->palette().color(QPalette::Window).lightness();
    QStringList missing;
    const QList<QPair<Qt::Edge, QString>> edges = {
        {Qt::LeftEdge, "left"}, {Qt::TopEdge, "top"}, {Qt::RightEdge, "right"}, {Qt::BottomEdge, "bottom"}};
    for (const auto& [edge, side] : edges)
        if (darkestAcross(shot, device, edge) >= background - 20)
            missing << side;
    QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("no frame line on the ") + missing.join(", ")));
}

void TestScaledWindows::everyWindowCarriesTheProgramIcon_data() {
    cto::test::addWindowRows();
}

void TestScaledWindows::everyWindowCarriesTheProgramIcon() {
    QFETCH(QString, window);
    const std::unique_ptr<QWidget> built = buildWindow(window);
    const QIcon icon = built->windowIcon();
    QCOMPARE(icon.availableSizes(), QList<QSize>({{16, 16}, {32, 32}, {48, 48}, {64, 64}, {128, 128}}));
    // A title bar's 32 pixels from a drawing of as many device pixels.
    const QPixmap titleBar = icon.pixmap(QSize(32, 32), kScale);
    QCOMPARE(titleBar.size(), (QSizeF(32, 32) * kScale).toSize());
    QCOMPARE(pixels(titleBar.toImage()),
             pixels(QImage(QStringLiteral(":/images/window-icon-%1.png").arg(qRound(32 * kScale)))));
}

void TestScaledWindows::messageStaysOnTheScreen_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("scrolls");
    QTest::newRow("short") << QStringLiteral("Encuesta de prueba OK\rSe procederá a guardar.") << false;
    QString words;
    while (words.size() < 300 * 1024)
        words += QStringLiteral("Recibida la encuesta del establecimiento número %1. ").arg(words.size());
    QTest::newRow("300 KB of words") << words << true;
    QTest::newRow("300 KB without a blank") << QString(300 * 1024, QLatin1Char('x')) << true;
    QStringList lines;
    for (int line = 0; line < 3000; ++line)
        lines << QStringLiteral("Línea %1").arg(line);
    QTest::newRow("3000 short lines") << lines.join(QLatin1Char('\r')) << true;
}

// However long, the box and its OK button stay on the screen, and every part
// of the text, unchanged, can be scrolled into view.
void TestScaledWindows::messageStaysOnTheScreen() {
    QFETCH(QString, text);
    QFETCH(bool, scrolls);
    PlainMessageBox box(text, nullptr);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    // And after a layout request, which Qt's box answers by fitting itself
    // to its whole text again (on X11 the showing itself brings one).
    QEvent relayout(QEvent::LayoutRequest);
    QCoreApplication::sendEvent(&box, &relayout);
    const QRect screen = box.screen()->availableGeometry();
    QVERIFY2(
        screen.contains(box.frameGeometry()),
        qPrintable(
            QStringLiteral("%1x%2 at %3,%4").arg(box.width()).arg(box.height()).arg(box.x()).arg(box.y())));
    QAbstractButton* ok = box.button(QMessageBox::Ok);
    QVERIFY(ok->isVisible());
    QVERIFY(box.rect().contains(QRect(ok->mapTo(&box, QPoint(0, 0)), ok->size())));
    QCOMPARE(box.text(), text);

    auto* view = box.findChild<QPlainTextEdit*>(QStringLiteral("ctoMessageText"));
    QCOMPARE(view != nullptr, scrolls);
    if (!view)
        return;
    // The same text, its lines as the label shows them, in a view that
    // scrolls down and wraps what is too wide, so never sideways; copied, it
    // is the text as given.
    view->selectAll();
    view->copy();
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QString(text).replace(QLatin1Char('\r'), QLatin1Char('\n')));
    QVERIFY(view->isVisible());
    // Room to read: the box takes the screen's height, not a corner of it.
    QVERIFY2(view->height() >= 10 * view->fontMetrics().lineSpacing(),
             qPrintable(QString::number(view->height())));
    QVERIFY(view->verticalScrollBar()->maximum() > 0);
    QCOMPARE(view->horizontalScrollBar()->maximum(), 0);
}

// Every column of the save dialog's list as wide as its heading and its
// widest text: a file's size ("683 bytes"), "Última modificación".
void TestScaledWindows::saveDialogColumnsReadWhole() {
    QTemporaryDir folder;
    QFile receipt(folder.filePath(QStringLiteral("Envio2026-000123.xml")));
    QVERIFY(receipt.open(QIODevice::WriteOnly));
    receipt.write(QByteArray(683, 'x'));
    receipt.close();
    TSaveDialog settings;
    settings.Title = QStringLiteral("Guardar resultados del envio");
    settings.DefaultExt = QStringLiteral("txt");
    settings.Filter = QStringLiteral("*.xml");
    settings.FileName = folder.filePath(QStringLiteral("EnvioEncuestaDePrueba.xml"));
    // In Qt's Spanish, as the program speaks it: the headings are longer. And
    // as on a first run: Qt restores the widths that its dialog had last.
    QVERIFY(installQtSpanishTexts(*qApp));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       folder.filePath(QStringLiteral("config")));
    QFileDialog dialog;
    settings.configure(dialog);
    dialog.setViewMode(QFileDialog::Detail);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    QVERIFY(view && view->isVisible());
    QTRY_COMPARE(view->model()->rowCount(view->rootIndex()), 1);
    QHeaderView* header = view->header();
    const auto cutColumns = [&] {
        QStringList cut;
        for (int column = 0; column < header->count(); ++column) {
            // Public in the base class, where Qt lists it.
            const int wanted =
                std::max(static_cast<const QAbstractItemView*>(view)->sizeHintForColumn(column),
                         header->sectionSizeHint(column));
            if (!header->isSectionHidden(column) && header->sectionSize(column) < wanted)
                cut << QStringLiteral("%1 %2 < %3")
                           .arg(view->model()->headerData(column, Qt::Horizontal).toString())
                           .arg(header->sectionSize(column))
                           .arg(wanted);
        }
        return cut;
    };
    // The sizes and dates come in after the names.
    QStringList cut;
    (void)QTest::qWaitFor([&] { return (cut = cutColumns()).isEmpty(); }, 2000);
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral(", "))));
}

QTEST_MAIN(TestScaledWindows)
#include "tst_scaled_windows.moc"
