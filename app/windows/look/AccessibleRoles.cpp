#include "app/windows/look/AccessibleRoles.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

namespace cto {
namespace {

// Qt asks the factories about each class from the object's own upwards, the
// last installed first. A dialog, a label, a button... is described by Qt at
// its own class; only a widget that nothing describes more closely reaches
// "QWidget", where this factory answers before Qt's.
QAccessibleInterface* topLevelWidgetAsFrame(const QString& className, QObject* object) {
    if (className != QLatin1String("QWidget") || !object || !object->isWidgetType())
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (!widget->isWindow())
        return nullptr;
    return new QAccessibleWidget(widget, QAccessible::Window);
}

// The widget that announce() shows: a notification, which screen readers say
// as it appears. Qt asks about a class without Q_OBJECT under its nearest
// described base's name, so the widget is known by its object name.
QAccessibleInterface* spokenNoticeAsNotification(const QString& className, QObject* object) {
    if (className != QLatin1String("QWidget") || !object || !object->isWidgetType() ||
        object->objectName() != QLatin1String("cto_spoken_notice"))
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Notification);
}

} // namespace

void installAccessibleRoles() {
    // Qt ignores a factory it already has.
    QAccessible::installFactory(topLevelWidgetAsFrame);
    QAccessible::installFactory(spokenNoticeAsNotification);
}

} // namespace cto
