// Opens the link as the console does and holds it until standard input ends
// or SIGTERM comes, so that scripts/test-interop can set it against other
// programs on the same line. Prints "open", or why the open was refused.
#include "port_com.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/signalfd.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
    // SIGTERM comes as a read on a descriptor, so that the link is closed.
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigprocmask(SIG_BLOCK, &term, nullptr);
    const int termFd = signalfd(-1, &term, SFD_CLOEXEC);

    QCoreApplication app(argc, argv);
    if (argc != 2 || termFd < 0) {
        std::fprintf(stderr, "usage: norvex_linkprobe PORT\n");
        return 2;
    }
    Port_Com port;
    QMetaObject::invokeMethod(&port, "set_portName", Q_ARG(QString, QString::fromLocal8Bit(argv[1])));
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
    QSocketNotifier terminate(termFd, QSocketNotifier::Read);
    QObject::connect(&terminate, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    app.exec();
    return port.close_Serial() == 1 ? 0 : 1;
}
