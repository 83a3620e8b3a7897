#include "antenna_w.h"
#include "appsetup.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    setUpConsoleApplication();
    Antenna_w window(nullptr);
    window.show();
    return app.exec();
}
