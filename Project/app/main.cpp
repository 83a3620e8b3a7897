#include "antenna_w.h"
#include "formfonts.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // The desktop entry's id: a Wayland shell matches the window to the
    // entry by it, for the name and icon that its dock shows.
    QGuiApplication::setDesktopFileName(QStringLiteral(NORVEX_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/norvex/norvex.svg")));
    loadFormFonts();
    Antenna_w window(nullptr);
    window.show();
    return app.exec();
}
