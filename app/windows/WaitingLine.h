#pragma once

#include <QElapsedTimer>

class QPlainTextEdit;

namespace cto {

// A line below the log's last one while the program waits for the office,
// counting the seconds, so that a slow office does not look like a hung
// program. It appears after the first second and is gone when the wait ends:
// the log keeps exactly its own lines.
class WaitingLine {
public:
    explicit WaitingLine(QPlainTextEdit* log) : log_(log) {}

    // Called while the wait goes on; starts the count on the first call.
    void tick();
    // The wait is over.
    void end();

    static QString text(qint64 seconds);

private:
    void replaceLastLine(const QString& line);

    QPlainTextEdit* log_;
    QElapsedTimer clock_;
    qint64 shownSeconds_ = 0; // 0: not shown
};

} // namespace cto
