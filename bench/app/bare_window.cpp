// The yardstick for the program's start-up: the least a Qt Widgets program
// does to show a window, with the same "shown" switch as the program.
#include "app/startup/ShownProbe.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QWidget window;
    window.setFixedSize(484, 361);
    window.setWindowTitle(QStringLiteral("bare"));
    QLabel label(QStringLiteral("Hola"), &window);
    label.move(8, 8);
    cto::exitWhenShownIfAsked(window, cto::ShownWindow::Main);
    window.show();
    return application.exec();
}
