#pragma once

#include <QCursor>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QWidget>

namespace cto {

// Shows the busy cursor over the whole window for its lifetime: over the
// window itself and over every widget in it that sets a cursor of its own
// (a text field's I-beam, a button's hand), which would otherwise hide the
// window's. Other windows (a dialog opened meanwhile) keep their cursors.
// Each widget gets back the cursor it had.
class BusyCursor {
public:
    explicit BusyCursor(QWidget* window);
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    struct Kept {
        QPointer<QWidget> widget;
        bool hadOwn;
        QCursor cursor;
    };
    QList<Kept> kept_;
};

} // namespace cto
