#include "PlainMessageBox.h"

#include "common/ApplicationTitle.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>

namespace cto {

QString plainMessageCaption() {
    return applicationTitle(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
}

PlainMessageBox::PlainMessageBox(const QString& text, QWidget* parent)
    : QMessageBox(QMessageBox::NoIcon, plainMessageCaption(), text, QMessageBox::Ok, parent) {
    setTextFormat(Qt::PlainText);
    setWindowModality(Qt::ApplicationModal);
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
}

void PlainMessageBox::showEvent(QShowEvent* event) {
    QMessageBox::showEvent(event);
    // The box settles its size only now, after it was placed for a narrower
    // one: centre it again over the window it belongs to.
    if (QWidget* owner = parentWidget()) {
        QRect frame = frameGeometry();
        frame.moveCenter(owner->window()->frameGeometry().center());
        move(frame.topLeft());
    }
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
