#include "antenna_w.h"
#include "appsetup.h"

#include <QApplication>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

int main(int argc, char **argv)
{
#ifdef Q_OS_WIN
    // Held until the process ends: the installer and the uninstaller wait
    // for it to go, as Windows will not replace the files of a running
    // program. Global, to be seen from any user's session.
    CreateMutexW(nullptr, FALSE, L"Global\\" NORVEX_RUNNING_MUTEX);
#endif
    QApplication app(argc, argv);
    setUpConsoleApplication();
    Antenna_w window(nullptr);
    window.show();
    return app.exec();
}
