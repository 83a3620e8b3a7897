// The console started as its main() starts it, ended at its first painted
// frame: the subject of the start-up benchmark.
#include "antenna_w.h"
#include "firstpaint.h"
#include "formfonts.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral(NORVEX_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/norvex/norvex.svg")));
    loadFormFonts();
    Antenna_w window(nullptr);
    onFirstPaint(&window, exitNow);
    window.show();
    return app.exec();
}
