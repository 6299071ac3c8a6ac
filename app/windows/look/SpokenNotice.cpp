#include "app/windows/look/SpokenNotice.h"

#include <QWidget>

namespace cto {

namespace {

// Reported with the notification role (see AccessibleRoles.cpp), its text as its name.
class SpokenNotice : public QWidget {
public:
    explicit SpokenNotice(QWidget* window) : QWidget(window) {
        setObjectName(QStringLiteral("cto_spoken_notice"));
        setGeometry(0, 0, 1, 1);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
    }
};

} // namespace

void announce(QWidget* near, const QString& text) {
    if (!near || text.isEmpty())
        return;
    QWidget* window = near->window();
    auto* notice =
        window->findChild<QWidget*>(QStringLiteral("cto_spoken_notice"), Qt::FindDirectChildrenOnly);
    if (!notice)
        notice = new SpokenNotice(window);
    // Hidden and shown again, so that each text appears anew, also the same
    // text twice ("Ok" after each step).
    notice->hide();
    notice->setAccessibleName(text);
    notice->show();
}

} // namespace cto
