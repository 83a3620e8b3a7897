// The console started as its main() starts it, ended at its first painted
// frame: the subject of the start-up benchmark.
#include "antenna_w.h"
#include "appsetup.h"
#include "firstpaint.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    setUpConsoleApplication();
    Antenna_w window(nullptr);
    onFirstPaint(&window, exitNow);
    window.show();
    return app.exec();
}
