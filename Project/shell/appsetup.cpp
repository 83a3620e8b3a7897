#include "appsetup.h"
#include "formfonts.h"

#include <QApplication>
#include <QIcon>

void setUpConsoleApplication()
{
    // The desktop entry's id: a Wayland shell matches the window to the
    // entry by it, for the name and icon that its dock shows.
    QGuiApplication::setDesktopFileName(QStringLiteral(NORVEX_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/norvex/norvex.svg")));
    loadFormFonts();
}
