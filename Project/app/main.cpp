#include "antenna_w.h"
#include "formfonts.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    loadFormFonts();
    Antenna_w window(nullptr);
    window.show();
    return app.exec();
}
