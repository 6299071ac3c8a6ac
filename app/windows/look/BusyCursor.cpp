#include "app/windows/look/BusyCursor.h"

namespace cto {

BusyCursor::BusyCursor(QWidget* window) {
    QList<QWidget*> covered{window};
    for (QWidget* child : window->findChildren<QWidget*>())
        if (child->window() == window && child->testAttribute(Qt::WA_SetCursor))
            covered << child;
    for (QWidget* widget : covered) {
        kept_.push_back({widget, widget->testAttribute(Qt::WA_SetCursor), widget->cursor()});
        widget->setCursor(Qt::BusyCursor);
    }
}

BusyCursor::~BusyCursor() {
    for (const Kept& kept : kept_) {
        if (!kept.widget)
            continue;
        if (kept.hadOwn)
            kept.widget->setCursor(kept.cursor);
        else
            kept.widget->unsetCursor();
    }
}

} // namespace cto
