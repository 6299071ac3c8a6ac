#include "app/windows/look/SharpLabelImage.h"

#include "app/windows/look/SharpIcon.h"

#include <QEvent>
#include <QIcon>
#include <QLabel>

namespace cto {
namespace {

// Lives as the label's child; sets its pixmap for the label's device pixel ratio.
class SharpImage : public QObject {
public:
    SharpImage(QLabel* label, const QString& path) : QObject(label), label_(label), icon_(sharpIcon(path)) {
        label->installEventFilter(this);
        update();
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == label_ && event->type() == QEvent::ScreenChangeInternal)
            update();
        return QObject::eventFilter(watched, event);
    }

private:
    void update() {
        label_->setPixmap(icon_.pixmap(icon_.availableSizes().value(0), label_->devicePixelRatioF()));
    }

    QLabel* label_;
    QIcon icon_;
};

} // namespace

void showSharpImage(QLabel* label, const QString& path) {
    new SharpImage(label, path);
}

} // namespace cto
