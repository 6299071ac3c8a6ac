#include "app/windows/look/SpokenNotice.h"

#include <QTimer>
#include <QWidget>

namespace cto {

namespace {

// How long a notice stays for a screen reader to ask for its text: a busy
// program answers it late, after the next line is out, so each line is a
// notice of its own that keeps its text.
constexpr int kNoticeLifeMs = 60 * 1000;

// Reported with the notification role (see AccessibleRoles.cpp), its text as its name.
class SpokenNotice : public QWidget {
public:
    SpokenNotice(QWidget* window, const QString& text) : QWidget(window) {
        setObjectName(QStringLiteral("cto_spoken_notice"));
        setAccessibleName(text);
        setGeometry(0, 0, 1, 1);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        QTimer::singleShot(kNoticeLifeMs, this, &QObject::deleteLater);
    }
};

} // namespace

void announce(QWidget* near, const QString& text) {
    if (!near || text.isEmpty())
        return;
    (new SpokenNotice(near->window(), text))->show();
}

void announceLogLine(QWidget* log, const QString& line) {
    log->setAccessibleDescription(line);
    announce(log, line);
}

} // namespace cto
