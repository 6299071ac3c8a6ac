#include "app/windows/PlainMessageBox.h"

#include "app/windows/look/LegibleSelection.h"
#include "common/ApplicationTitle.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStyle>
#include <QTextBlock>

#include <algorithm>
#include <vector>

namespace cto {
namespace {

// A read-only view of a text of any length whose memory and layout stay
// bounded. A text view keeps a record for every paragraph and lays a
// paragraph out whole once any of it shows: a text of hundreds of thousands
// of short lines cost hundreds of megabytes of records, one line of megabytes
// as much again to lay out. So the view's paragraphs are made of some
// kilobytes each: short lines share one, joined by line separators (shown as
// line breaks), and a longer line is cut into several, after a blank where
// it can be, marked as its continuations so that a copy joins them again.
class MessageTextView : public QPlainTextEdit {
public:
    using QPlainTextEdit::QPlainTextEdit;

    void showText(const QString& text) {
        constexpr qsizetype kParagraph = 2048;
        constexpr qsizetype kLongestWord = 256;
        constexpr QChar kParagraphBreak = QLatin1Char('\n');
        constexpr QChar kLineBreak = QChar::LineSeparator;
        QString shown;
        shown.reserve(text.size());
        std::vector<int> continuations;
        int paragraph = 0;
        qsizetype paragraphStart = 0;
        const auto breakParagraph = [&] {
            shown += kParagraphBreak;
            paragraphStart = shown.size();
            ++paragraph;
        };
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
                // A lone CR ends a line too, as the label shows it.
                if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                    ++i;
                if (shown.size() - paragraphStart >= kParagraph)
                    breakParagraph();
                else
                    shown += kLineBreak;
                continue;
            }
            // Cut after a blank where one comes soon, so that no word is split.
            const qsizetype length = shown.size() - paragraphStart;
            if (length >= kParagraph && !c.isLowSurrogate() &&
                (shown.back().isSpace() || length >= kParagraph + kLongestWord)) {
                breakParagraph();
                continuations.push_back(paragraph);
            }
            shown += c;
        }
        setPlainText(shown);
        for (const int number : continuations)
            document()->findBlockByNumber(number).setUserState(kContinuation);
    }

protected:
    // The text as it was given, its line breaks as line feeds.
    QMimeData* createMimeDataFromSelection() const override {
        const QTextCursor cursor = textCursor();
        const int from = cursor.selectionStart();
        const int to = cursor.selectionEnd();
        QString text;
        for (QTextBlock block = document()->findBlock(from); block.isValid() && block.position() <= to;
             block = block.next()) {
            if (block.position() > from && block.userState() != kContinuation)
                text += QLatin1Char('\n');
            const int start = std::max(from, block.position()) - block.position();
            const int end = std::min(to, block.position() + block.length() - 1) - block.position();
            text += block.text().mid(start, end - start).replace(QChar::LineSeparator, QLatin1Char('\n'));
        }
        auto* data = new QMimeData;
        data->setText(text);
        return data;
    }

private:
    static constexpr int kContinuation = 1;
};

} // namespace

QString plainMessageCaption() {
    return applicationTitle(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
}

PlainMessageBox::PlainMessageBox(const QString& text, QWidget* parent)
    : QMessageBox(QMessageBox::NoIcon, plainMessageCaption(), QString(), QMessageBox::Ok, parent) {
    setTextFormat(Qt::PlainText);
    setWindowModality(Qt::ApplicationModal);
    keepSelectionLegible(this); // the text can be selected
    // Just the word: some desktops' styles add a glyph to standard buttons.
    if (QAbstractButton* ok = button(QMessageBox::Ok))
        ok->setIcon(QIcon());
    // Laying a text of megabytes out in the label, only to find that it does
    // not fit, took minutes and hundreds of megabytes: a text that cannot fit
    // on any screen goes to the scrolling view before anything measures it.
    // A selectable label holds its text in a document too, and Qt's box makes
    // its label selectable: the long text is handed to a label that is not.
    if (needsScrolling(text)) {
        if (auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
            label->setTextInteractionFlags(Qt::NoTextInteraction);
        setText(text);
        showInScrollingView();
        scrollingFromTheStart_ = true;
    } else {
        setText(text);
        showCarriageReturnsAsLineBreaks();
    }
}

bool PlainMessageBox::needsScrolling(const QString& text) {
    // Beyond these, no screen shows the text whole: a 4K screen holds about a
    // hundred lines of the box's font, and a box as wide as the screen some
    // two hundred characters a line.
    constexpr qsizetype kLongestText = 16 * 1024;
    constexpr qsizetype kMostLines = 150;
    if (text.size() > kLongestText)
        return true;
    qsizetype lines = 0;
    for (const QChar c : text) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            ++lines;
    }
    return lines > kMostLines;
}

void PlainMessageBox::changeEvent(QEvent* event) {
    // Qt's box answers a style change by making its label selectable again,
    // which would give the hidden label a document of the whole text.
    if (scrolling_ && event->type() == QEvent::StyleChange) {
        QDialog::changeEvent(event); // NOLINT(bugprone-parent-virtual-call): past QMessageBox on purpose
        if (auto* buttons = findChild<QDialogButtonBox*>())
            buttons->setCenterButtons(style()->styleHint(QStyle::SH_MessageBox_CenterButtons, nullptr, this));
    } else {
        QMessageBox::changeEvent(event);
    }
    // A style change resets the label's interaction flags from the style.
    if (event->type() == QEvent::StyleChange && !scrolling_)
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
    if (!scrolling_)
        showInScrollingView();
    if (!scrollingFromTheStart_) {
        setFixedSize(std::min(width(), room.width()), std::min(height(), room.height()));
        return;
    }
    // Sized before the text was ever measured: the screen's height to read
    // in, and a width that reads comfortably.
    const int readable = fontMetrics().averageCharWidth() * 90;
    setFixedSize(std::min(std::max(width(), readable), room.width()), room.height());
}

void PlainMessageBox::showInScrollingView() {
    auto* grid = qobject_cast<QGridLayout*>(layout());
    auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (!grid || !label || scrolling_)
        return;
    int row = 0;
    int column = 0;
    int rowSpan = 0;
    int columnSpan = 0;
    grid->getItemPosition(grid->indexOf(label), &row, &column, &rowSpan, &columnSpan);
    auto* view = new MessageTextView(this);
    view->setObjectName(QStringLiteral("ctoMessageText"));
    view->setReadOnly(true);
    view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    view->setFrameShape(QFrame::NoFrame);
    view->setBackgroundRole(QPalette::Window);
    view->viewport()->setBackgroundRole(QPalette::Window);
    view->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    view->setAccessibleName(QStringLiteral("Mensaje"));
    view->showText(text());
    label->hide();
    grid->addWidget(view, row, column, rowSpan, columnSpan);
    scrolling_ = true;
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
