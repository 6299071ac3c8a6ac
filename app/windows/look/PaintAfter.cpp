#include "app/windows/look/PaintAfter.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace cto {
namespace {

// Lives as the widget's child. On a paint event it hands the event on to
// the widget's other filters and the widget (it is the last filter
// installed, so the first asked), then paints.
class PaintAfterFilter : public QObject {
public:
    PaintAfterFilter(QWidget* widget, std::function<void(QWidget*)> paint)
        : QObject(widget), paint_(std::move(paint)) {
        widget->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint || forwarding_)
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        forwarding_ = true;
        QCoreApplication::sendEvent(widget, event);
        forwarding_ = false;
        paint_(widget);
        return true;
    }

private:
    std::function<void(QWidget*)> paint_;
    bool forwarding_ = false;
};

} // namespace

void paintAfter(QWidget* widget, std::function<void(QWidget*)> paint) {
    new PaintAfterFilter(widget, std::move(paint));
}

} // namespace cto
