#include "app/windows/WaitingLine.h"

#include "app/windows/look/SpokenNotice.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>

namespace cto {

QString WaitingLine::text(qint64 seconds) {
    return QStringLiteral("Esperando la respuesta de la oficina... %1 s").arg(seconds);
}

void WaitingLine::tick() {
    if (!clock_.isValid())
        clock_.start();
    const qint64 seconds = clock_.elapsed() / 1000;
    if (seconds < 1 || seconds == shownSeconds_)
        return;
    if (shownSeconds_ == 0) {
        log_->appendPlainText(text(seconds));
        // Read out once, as the log's other lines are; the count that follows is not.
        announceLogLine(log_, text(seconds));
    } else
        replaceLastLine(text(seconds));
    shownSeconds_ = seconds;
}

void WaitingLine::end() {
    clock_.invalidate();
    if (shownSeconds_ == 0)
        return;
    shownSeconds_ = 0;
    // The line and the line break before it.
    QTextCursor cursor(log_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
    cursor.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void WaitingLine::replaceLastLine(const QString& line) {
    QTextCursor cursor(log_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(line);
}

} // namespace cto
