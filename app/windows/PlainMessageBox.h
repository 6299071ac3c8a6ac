#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

namespace cto {

// The program's only message box: modal, one OK button, no icon, captioned
// with the application title. text() answers the message exactly as given; a
// lone carriage return in it is shown as a line break whatever the style. A
// message taller or wider than the screen is shown in a scrolling area, so
// that the box and its button stay on the screen.
class PlainMessageBox : public QMessageBox {
    Q_OBJECT
public:
    PlainMessageBox(const QString& text, QWidget* parent);

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void showCarriageReturnsAsLineBreaks();
    void keepWithinScreen();
    void showInScrollingView();
    static bool needsScrolling(const QString& text);

    bool scrolling_ = false;
    bool scrollingFromTheStart_ = false;
};

// Shows the message and waits until the user closes it.
void showPlainMessage(QWidget* parent, const QString& text);

// The caption of every message box of this program.
QString plainMessageCaption();

} // namespace cto
