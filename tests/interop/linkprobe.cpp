// Opens the link as the console does and holds it until standard input ends
// or a signal ends it, so that scripts/test-interop can set it against other
// programs on the same line, and tst_port_com can end it by a signal.
// Prints "open", or why the open was refused.
#include "port_com.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: norvex_linkprobe PORT\n");
        return 2;
    }
    Port_Com port;
    QMetaObject::invokeMethod(&port, "set_portName",
                              Q_ARG(QString, QString::fromLocal8Bit(argv[1])));
    QMetaObject::invokeMethod(&port, "set_baudRate", Q_ARG(BaudRateType, BAUD9600));
    if (port.open_Serial() != 2) {
        std::printf("%s\n", qPrintable(port.serial_Port()->errorString()));
        return 1;
    }
    std::printf("open\n");
    std::fflush(stdout);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&app, &input] {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
            input.setEnabled(false);
            app.quit();
        }
    });
    app.exec();
    return port.close_Serial() == 1 ? 0 : 1;
}
