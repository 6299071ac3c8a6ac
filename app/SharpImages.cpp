#include "app/SharpImages.h"

#include <QEvent>
#include <QIcon>
#include <QLabel>
#include <QPixmap>

namespace cto {
namespace {

// Lives as the label's child; sets its pixmap for the label's device pixel ratio.
class SharpImage : public QObject {
public:
    SharpImage(QLabel* label, const QString& path)
        : QObject(label), label_(label), icon_(path), size_(QPixmap(path).size()) {
        label->installEventFilter(this);
        update();
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == label_ && event->type() == QEvent::ScreenChangeInternal)
            update();
        return QObject::eventFilter(watched, event);
    }

private:
    void update() { label_->setPixmap(icon_.pixmap(size_, label_->devicePixelRatioF())); }

    QLabel* label_;
    QIcon icon_; // QIcon finds the @2x file by itself
    QSize size_;
};

} // namespace

void showSharpImage(QLabel* label, const QString& path) {
    new SharpImage(label, path);
}

} // namespace cto
