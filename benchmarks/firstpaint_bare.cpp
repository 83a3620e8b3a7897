// A bare main window of the console's size, ended at its first painted
// frame: the reference of the start-up benchmark.
#include "firstpaint.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(800, 600);
    onFirstPaint(&window, exitNow);
    window.show();
    return app.exec();
}
