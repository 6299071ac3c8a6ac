#include "PlainMessageBox.h"

#include "app/LegibleSelection.h"
#include "common/ApplicationTitle.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>

#include <algorithm>

namespace cto {

QString plainMessageCaption() {
    return applicationTitle(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
}

PlainMessageBox::PlainMessageBox(const QString& text, QWidget* parent)
    : QMessageBox(QMessageBox::NoIcon, plainMessageCaption(), text, QMessageBox::Ok, parent) {
    setTextFormat(Qt::PlainText);
    setWindowModality(Qt::ApplicationModal);
    keepSelectionLegible(this); // the text can be selected
    // Just the word: some desktops' styles add a glyph to standard buttons.
    if (QAbstractButton* ok = button(QMessageBox::Ok))
        ok->setIcon(QIcon());
    showCarriageReturnsAsLineBreaks();
}

void PlainMessageBox::changeEvent(QEvent* event) {
    QMessageBox::changeEvent(event);
    // A style change resets the label's interaction flags from the style.
    if (event->type() == QEvent::StyleChange)
        showCarriageReturnsAsLineBreaks();
    if (isVisible() && (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange))
        keepWithinScreen();
}

bool PlainMessageBox::event(QEvent* event) {
    // Qt's box fits itself to its whole text again at every layout request;
    // once the text scrolls, the size found for the screen holds.
    if (scrolling_ && event->type() == QEvent::LayoutRequest)
        return QDialog::event(event); // NOLINT(bugprone-parent-virtual-call): past QMessageBox on purpose
    return QMessageBox::event(event);
}

void PlainMessageBox::showEvent(QShowEvent* event) {
    QMessageBox::showEvent(event);
    keepWithinScreen();
    // The box settles its size only now, after it was placed for a narrower
    // one: centre it again over the window it belongs to (or the screen),
    // and keep it on its screen when that window sits near an edge.
    QRect frame = frameGeometry();
    const QScreen* screen = this->screen();
    if (QWidget* owner = parentWidget())
        frame.moveCenter(owner->window()->frameGeometry().center());
    else if (screen)
        frame.moveCenter(screen->availableGeometry().center());
    if (screen) {
        const QRect available = screen->availableGeometry();
        frame.moveLeft(std::clamp(frame.left(), available.left(), available.right() - frame.width() + 1));
        frame.moveTop(std::clamp(frame.top(), available.top(), available.bottom() - frame.height() + 1));
    }
    move(frame.topLeft());
}

// Qt sizes a message box to its whole text, however long: an answer of some
// hundred kilobytes made a box many screens tall, its button out of reach.
// Such a text is shown instead in a read-only text view that scrolls, wraps
// a line too long for the box anywhere, and can be read by the keyboard; the
// box is no larger than nine tenths of the screen (room for a title bar a
// window manager has not drawn yet). The label stays, hidden, and so text()
// answers the message as it was given.
void PlainMessageBox::keepWithinScreen() {
    const QScreen* screen = this->screen();
    auto* grid = qobject_cast<QGridLayout*>(layout());
    auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (!screen || !grid || !label)
        return;
    const QSize frame = frameGeometry().size() - size();
    const QSize room = screen->availableGeometry().size() * 9 / 10 - frame;
    if (!scrolling_ && width() <= room.width() && height() <= room.height())
        return;
    if (!scrolling_) {
        int row = 0;
        int column = 0;
        int rowSpan = 0;
        int columnSpan = 0;
        grid->getItemPosition(grid->indexOf(label), &row, &column, &rowSpan, &columnSpan);
        auto* view = new QPlainTextEdit(this);
        view->setObjectName(QStringLiteral("ctoMessageText"));
        view->setReadOnly(true);
        view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        view->setFrameShape(QFrame::NoFrame);
        view->setBackgroundRole(QPalette::Window);
        view->viewport()->setBackgroundRole(QPalette::Window);
        view->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        view->setAccessibleName(QStringLiteral("Mensaje"));
        // Line breaks as the label shows them: a lone CR ends a line too.
        view->setPlainText(QString(text())
                               .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                               .replace(QLatin1Char('\r'), QLatin1Char('\n')));
        label->hide();
        grid->addWidget(view, row, column, rowSpan, columnSpan);
        scrolling_ = true;
    }
    setFixedSize(std::min(width(), room.width()), std::min(height(), room.height()));
}

// Styles draw a plain label's text with QPainter::drawText, which turns a lone
// CR into a blank. A selectable label lays its text out as a document instead,
// where CR ends a line, while text() keeps the message unchanged.
void PlainMessageBox::showCarriageReturnsAsLineBreaks() {
    if (auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
}

void showPlainMessage(QWidget* parent, const QString& text) {
    PlainMessageBox box(text, parent);
    box.exec();
}

} // namespace cto
