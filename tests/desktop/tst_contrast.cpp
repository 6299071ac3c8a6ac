// Every text in the windows stands out from what it is drawn on by at least
// 4.5:1 (WCAG 2), under Fusion's light palette, a dark one and the colours of
// two desktops: labels (the header titles on the band's blue included),
// buttons, fields, lists, and selected text on the selection's colour.
#include "ProgramWindows.h"

#include "app/windows/look/Contrast.h"
#include "app/windows/look/GradientHeaderPanel.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

using namespace cto;
using cto::test::buildWindow;

namespace {

QPalette lightPalette() {
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    return fusion->standardPalette();
}

// A dark palette as desktops set one for Fusion.
QPalette darkPalette() {
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(53, 53, 53));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Base, QColor(35, 35, 35));
    dark.setColor(QPalette::AlternateBase, QColor(53, 53, 53));
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::Button, QColor(53, 53, 53));
    dark.setColor(QPalette::ButtonText, Qt::white);
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    dark.setColor(QPalette::HighlightedText, Qt::black);
    dark.setColor(QPalette::ToolTipBase, QColor(53, 53, 53));
    dark.setColor(QPalette::ToolTipText, Qt::white);
    return dark;
}

// A desktop's palette from its colour scheme's roles.
struct Scheme {
    QColor window, windowText, view, viewText, button, buttonText, selection, selectedText;
};

QPalette paletteOf(const Scheme& scheme) {
    QPalette palette;
    palette.setColor(QPalette::Window, scheme.window);
    palette.setColor(QPalette::WindowText, scheme.windowText);
    palette.setColor(QPalette::Base, scheme.view);
    palette.setColor(QPalette::AlternateBase, scheme.view);
    palette.setColor(QPalette::Text, scheme.viewText);
    palette.setColor(QPalette::Button, scheme.button);
    palette.setColor(QPalette::ButtonText, scheme.buttonText);
    palette.setColor(QPalette::Highlight, scheme.selection);
    palette.setColor(QPalette::HighlightedText, scheme.selectedText);
    palette.setColor(QPalette::ToolTipBase, scheme.button);
    palette.setColor(QPalette::ToolTipText, scheme.buttonText);
    return palette;
}

// Breeze Dark as Plasma 5.27's kdeglobals sets it ([Colors:Window], [Colors:View],
// [Colors:Button], [Colors:Selection]): light text on a light blue selection.
QPalette breezeDarkPalette() {
    const QColor text(252, 252, 252);
    return paletteOf({QColor(32, 35, 38), text, QColor(27, 30, 32), text, QColor(49, 54, 59), text,
                      QColor(61, 174, 233), text});
}

// A light desktop of the Adwaita kind: white text on a mid blue selection.
QPalette adwaitaLikePalette() {
    const QColor text(46, 52, 54);
    return paletteOf({QColor(246, 245, 244), text, Qt::white, text, QColor(237, 237, 237), text,
                      QColor(53, 132, 228), Qt::white});
}

// GTK's Adwaita dark (gtk-3.0's dark variant): white text on a deep blue selection.
QPalette adwaitaDarkPalette() {
    return paletteOf({QColor(0x35, 0x35, 0x35), QColor(0xee, 0xee, 0xec), QColor(0x2d, 0x2d, 0x2d), Qt::white,
                      QColor(0x35, 0x35, 0x35), QColor(0xee, 0xee, 0xec), QColor(0x15, 0x53, 0x9e),
                      Qt::white});
}

const QStringList kPaletteNames = {"light", "dark", "breeze-dark", "adwaita-like", "adwaita-dark"};

QPalette paletteNamed(const QString& name) {
    if (name == QLatin1String("dark"))
        return darkPalette();
    if (name == QLatin1String("breeze-dark"))
        return breezeDarkPalette();
    if (name == QLatin1String("adwaita-like"))
        return adwaitaLikePalette();
    if (name == QLatin1String("adwaita-dark"))
        return adwaitaDarkPalette();
    return lightPalette();
}

// One text and what it is drawn on; a text on the header band is drawn on
// every stripe its label covers.
struct Text {
    QString where;
    QColor foreground;
    QList<QColor> backgrounds;
};

// The colour behind a widget: the nearest of it and its ancestors that
// fills its background (a window always does).
QColor backgroundBehind(const QWidget* widget) {
    for (const QWidget* at = widget; at; at = at->parentWidget())
        if (at->autoFillBackground() || at->isWindow())
            return at->palette().color(at->backgroundRole());
    return {};
}

QList<QColor> stripesBehind(const QWidget* label, const QWidget* band) {
    QList<QColor> colours;
    const QRect rows = label->geometry();
    for (const GradientStripe& stripe : gradientStripes(band->height()))
        if (stripe.bottom > rows.top() && stripe.top <= rows.bottom())
            colours << stripe.color;
    return colours;
}

QList<Text> textsOf(const QWidget* window, QPalette::ColorGroup group) {
    QList<Text> texts;
    for (const QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(window))
            continue;
        const QPalette& palette = widget->palette();
        const QString where = widget->objectName().isEmpty()
                                  ? QString::fromLatin1(widget->metaObject()->className())
                                  : widget->objectName();
        if (const auto* label = qobject_cast<const QLabel*>(widget)) {
            if (label->text().isEmpty())
                continue;
            const QWidget* parent = label->parentWidget();
            const QColor ink = palette.color(group, label->foregroundRole());
            if (qobject_cast<const GradientHeaderPanel*>(parent))
                texts.push_back({where, ink, stripesBehind(label, parent)});
            else
                texts.push_back({where, ink, {backgroundBehind(label)}});
        } else if (qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QHeaderView*>(widget)) {
            texts.push_back({where,
                             palette.color(group, QPalette::ButtonText),
                             {palette.color(group, QPalette::Button)}});
        } else if (qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QPlainTextEdit*>(widget) ||
                   (qobject_cast<const QAbstractItemView*>(widget) &&
                    !qobject_cast<const QHeaderView*>(widget))) {
            texts.push_back(
                {where, palette.color(group, QPalette::Text), {palette.color(group, QPalette::Base)}});
            texts.push_back({where + QStringLiteral(" (selected)"),
                             palette.color(group, QPalette::HighlightedText),
                             {palette.color(group, QPalette::Highlight)}});
        }
    }
    return texts;
}

// The texts below the least contrast, and the lowest contrast of each text,
// for the log.
QStringList tooFaint(const QWidget* window, QStringList* figures) {
    QStringList faint;
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        for (const Text& text : textsOf(window, group)) {
            double lowest = 21;
            for (const QColor& background : text.backgrounds)
                lowest = std::min(lowest, contrastRatio(text.foreground, background));
            const QString figure = QStringLiteral("%1 %2:1").arg(text.where).arg(lowest, 0, 'f', 2);
            if (group == QPalette::Active)
                *figures << figure;
            if (lowest < kTextContrast)
                faint << figure;
        }
    }
    return faint;
}

// A rendered cell's text against what it is drawn on: the cell's commonest
// colour is its background, its ink the pixel that stands out most from it.
// What the style lays over the cell (a focus frame, a hover tint) is in both.
double renderedContrast(const QImage& cell, QColor* ink, QColor* background) {
    QHash<QRgb, int> counts;
    for (int y = 0; y < cell.height(); ++y)
        for (int x = 0; x < cell.width(); ++x)
            ++counts[cell.pixel(x, y)];
    QRgb commonest = 0;
    int most = 0;
    for (auto count = counts.cbegin(); count != counts.cend(); ++count)
        if (count.value() > most) {
            most = count.value();
            commonest = count.key();
        }
    *background = QColor::fromRgb(commonest);
    double highest = 1;
    for (auto count = counts.cbegin(); count != counts.cend(); ++count) {
        const double ratio = contrastRatio(QColor::fromRgb(count.key()), *background);
        if (ratio > highest) {
            highest = ratio;
            *ink = QColor::fromRgb(count.key());
        }
    }
    return highest;
}

} // namespace

class TestContrast : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { QApplication::setPalette(lightPalette()); }

    void contrastRatioAsWcagDefinesIt_data();
    void contrastRatioAsWcagDefinesIt();
    void legibleColourIsTheNearestThatIsEnough_data();
    void legibleColourIsTheNearestThatIsEnough();

    void everyTextStandsOut_data();
    void everyTextStandsOut();
    void coloursFollowAPaletteChange();
    void selectedRowStaysLegibleAsDrawn_data();
    void selectedRowStaysLegibleAsDrawn();

private:
    std::unique_ptr<cto::test::TestCertificateStore> store_;
};

void TestContrast::initTestCase() {
    QApplication::setStyle(QStringLiteral("Fusion"));
    store_ = std::make_unique<cto::test::TestCertificateStore>();
}

void TestContrast::contrastRatioAsWcagDefinesIt_data() {
    QTest::addColumn<QColor>("a");
    QTest::addColumn<QColor>("b");
    QTest::addColumn<double>("ratio");
    QTest::newRow("black on white") << QColor(Qt::black) << QColor(Qt::white) << 21.0;
    QTest::newRow("either order") << QColor(Qt::white) << QColor(Qt::black) << 21.0;
    QTest::newRow("the same") << QColor(0x35, 0x35, 0x35) << QColor(0x35, 0x35, 0x35) << 1.0;
    QTest::newRow("grey just short of 4.5") << QColor(0x77, 0x77, 0x77) << QColor(Qt::white) << 4.48;
    QTest::newRow("the warning's red on a dark window")
        << QColor(0xb0, 0x1e, 0x23) << QColor(53, 53, 53) << 1.79;
    QTest::newRow("white on the band's lightest blue") << QColor(Qt::white) << QColor(17, 106, 255) << 4.64;
}

void TestContrast::contrastRatioAsWcagDefinesIt() {
    QFETCH(QColor, a);
    QFETCH(QColor, b);
    QFETCH(double, ratio);
    QVERIFY2(std::abs(contrastRatio(a, b) - ratio) < 0.01, qPrintable(QString::number(contrastRatio(a, b))));
}

void TestContrast::legibleColourIsTheNearestThatIsEnough_data() {
    QTest::addColumn<QColor>("wanted");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<bool>("kept");
    const QColor red(0xb0, 0x1e, 0x23);
    QTest::newRow("enough already") << red << lightPalette().color(QPalette::Window) << true;
    QTest::newRow("on dark: lightened") << red << QColor(53, 53, 53) << false;
    QTest::newRow("on black") << red << QColor(Qt::black) << false;
    QTest::newRow("light on light: darkened") << QColor(255, 200, 200) << QColor(Qt::white) << false;
    QTest::newRow("on its own colour") << QColor(0x77, 0x77, 0x77) << QColor(0x77, 0x77, 0x77) << false;
}

void TestContrast::legibleColourIsTheNearestThatIsEnough() {
    QFETCH(QColor, wanted);
    QFETCH(QColor, background);
    QFETCH(bool, kept);
    const QColor legible = legibleOn(wanted, background);
    QVERIFY2(
        contrastRatio(legible, background) >= kTextContrast,
        qPrintable(QStringLiteral("%1: %2").arg(legible.name()).arg(contrastRatio(legible, background))));
    if (kept) {
        QCOMPARE(legible, wanted);
        return;
    }
    // The nearest that is enough: half as far from the wanted colour is not.
    const auto halfway = [](int from, int to) { return (from + to) / 2; };
    const QColor lessMoved(halfway(wanted.red(), legible.red()), halfway(wanted.green(), legible.green()),
                           halfway(wanted.blue(), legible.blue()));
    QVERIFY(contrastRatio(lessMoved, background) < kTextContrast);
}

void TestContrast::everyTextStandsOut_data() {
    QTest::addColumn<QString>("palette");
    QTest::addColumn<QString>("window");
    for (const QString& palette : kPaletteNames)
        for (const QString& window : cto::test::kWindowNames)
            QTest::addRow("%s, %s", qPrintable(palette), qPrintable(window)) << palette << window;
}

void TestContrast::everyTextStandsOut() {
    QFETCH(QString, palette);
    QFETCH(QString, window);
    QApplication::setPalette(paletteNamed(palette));
    const std::unique_ptr<QWidget> built = buildWindow(window);
    QStringList figures;
    const QStringList faint = tooFaint(built.get(), &figures);
    qInfo("%s", qPrintable(figures.join(QStringLiteral(", "))));
    QVERIFY2(faint.isEmpty(), qPrintable(faint.join(QStringLiteral(", "))));
}

// The warning's red and the selection's shade are found again when the
// desktop's palette changes under an open dialog.
void TestContrast::coloursFollowAPaletteChange() {
    // On screen, as when the desktop turns dark while the dialog asks.
    const std::unique_ptr<QWidget> dialog = buildWindow(QStringLiteral("password"));
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    auto* warning = dialog->findChild<QLabel*>(QStringLiteral("lAviso"));
    auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("eContrasena"));
    for (const char* palette : {"dark", "breeze-dark", "light", "adwaita-like", "breeze-dark"}) {
        const QPalette next = paletteNamed(QLatin1String(palette));
        QApplication::setPalette(next);
        // The window hands a new palette on to its widgets when its turn comes.
        QTRY_COMPARE(dialog->palette().color(QPalette::Window), next.color(QPalette::Window));
        const double ratio = contrastRatio(warning->palette().color(warning->foregroundRole()),
                                           dialog->palette().color(dialog->backgroundRole()));
        QVERIFY2(ratio >= kTextContrast,
                 qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(palette)).arg(ratio)));
        const QPalette& colours = field->palette();
        const double selected =
            contrastRatio(colours.color(QPalette::HighlightedText), colours.color(QPalette::Highlight));
        QVERIFY2(selected >= kTextContrast,
                 qPrintable(QStringLiteral("%1, selected: %2").arg(QLatin1String(palette)).arg(selected)));
    }
}

void TestContrast::selectedRowStaysLegibleAsDrawn_data() {
    QTest::addColumn<QString>("palette");
    QTest::addColumn<QString>("state");
    for (const QString& palette : kPaletteNames)
        for (const char* state : {"focused", "hovered", "unfocused", "inactive window"})
            QTest::addRow("%s, %s", qPrintable(palette), state) << palette << QString::fromLatin1(state);
}

// The selected row of the certificate list, chosen from the keyboard, as the
// list draws it on screen in each state the user meets it in.
void TestContrast::selectedRowStaysLegibleAsDrawn() {
    QFETCH(QString, palette);
    QFETCH(QString, state);
    QApplication::setPalette(paletteNamed(palette));
    const std::unique_ptr<QWidget> dialog = buildWindow(QStringLiteral("certificates"));
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    auto* list = dialog->findChild<QAbstractItemView*>(QStringLiteral("lvCertificados"));
    QVERIFY(list->model()->rowCount() >= 3);
    list->setFocus(Qt::TabFocusReason);
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    const QModelIndex name = list->currentIndex();
    QCOMPARE(name.row(), 2);
    QVERIFY(list->selectionModel()->isSelected(name));
    const QRect cell = list->visualRect(name);

    QWidget elsewhere;
    if (state == QLatin1String("hovered")) {
        QTest::mouseMove(list->viewport(), cell.center());
    } else if (state == QLatin1String("unfocused")) {
        dialog->findChild<QWidget*>(QStringLiteral("bbCancelar"))->setFocus(Qt::TabFocusReason);
        QVERIFY(!list->hasFocus());
    } else if (state == QLatin1String("inactive window")) {
        elsewhere.show();
        elsewhere.activateWindow();
        QTRY_VERIFY(!dialog->isActiveWindow());
    }
    // The text's lines, clear of the cell's edges.
    const QImage drawn = list->viewport()->grab(cell.adjusted(3, 3, -3, -3)).toImage();
    QColor ink;
    QColor background;
    const double ratio = renderedContrast(drawn, &ink, &background);
    const QString figure =
        QStringLiteral("%1 on %2: %3:1").arg(ink.name(), background.name()).arg(ratio, 0, 'f', 2);
    qInfo("%s", qPrintable(figure));
    QVERIFY2(ratio >= kTextContrast, qPrintable(figure));
}

QTEST_MAIN(TestContrast)
#include "tst_contrast.moc"
