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
#include <QScreen>
#include <QScrollArea>

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

void PlainMessageBox::showEvent(QShowEvent* event) {
    QMessageBox::showEvent(event);
    keepWithinScreen();
    // The box settles its size only now, after it was placed for a narrower
    // one: centre it again over the window it belongs to, and keep it on
    // its screen when that window sits near an edge.
    QRect frame = frameGeometry();
    if (QWidget* owner = parentWidget())
        frame.moveCenter(owner->window()->frameGeometry().center());
    if (const QScreen* screen = this->screen()) {
        const QRect available = screen->availableGeometry();
        frame.moveLeft(std::clamp(frame.left(), available.left(), available.right() - frame.width() + 1));
        frame.moveTop(std::clamp(frame.top(), available.top(), available.bottom() - frame.height() + 1));
    }
    move(frame.topLeft());
}

// Qt sizes a message box to its whole text, however long: an answer of some
// hundred kilobytes made a box many screens tall, its button out of reach.
// Such a text goes into a scrolling area instead, the box no larger than
// nine tenths of the screen (room for a title bar a window manager has not
// drawn yet). The label itself, and so text(), stays as it was.
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
        const int index = grid->indexOf(label);
        grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
        delete grid->takeAt(index);
        auto* area = new QScrollArea(this);
        area->setObjectName(QStringLiteral("ctoMessageScroll"));
        area->setFrameShape(QFrame::NoFrame);
        area->setWidgetResizable(true);
        // Read by the keyboard too: arrows and page keys scroll it, Enter
        // still presses OK.
        area->setFocusPolicy(Qt::StrongFocus);
        label->setWordWrap(true);
        area->setWidget(label);
        grid->addWidget(area, row, column, rowSpan, columnSpan);
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
