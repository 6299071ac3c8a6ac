#include "app/windows/DefaultErrorBox.h"

#include "app/windows/PlainMessageBox.h"

#include <QMessageBox>

namespace cto {

QString defaultErrorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + QLatin1Char('.');
    return message;
}

void showDefaultErrorBox(QWidget* parent, const QString& message) {
    QMessageBox box(QMessageBox::Critical, plainMessageCaption(), defaultErrorBoxText(message),
                    QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("defaultErrorBox"));
    box.exec();
}

} // namespace cto
