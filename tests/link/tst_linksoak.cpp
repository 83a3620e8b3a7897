#include "linktest.h"
#include "port_com.h"
#include "quietwarnings.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <sys/resource.h>

// Long runs of the data link: nothing may build up over many opens and
// closes, and a vanished device must leave the process idle.
class tst_LinkSoak : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnAnyWarning(); }

    void thousandOpenCloseCycles();
    void deviceLossLeavesProcessIdle();
};

// CPU time used by the process so far, user and system, in milliseconds.
static double cpuMilliseconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0
            + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

// Opens and closes the port once on the device: Qt opens some files of its
// own the first time, so what the process holds is counted after that.
static bool warmUp(Port_Com &port, const QString &path)
{
    setPortName(port, path);
    return port.open_Serial() == 2 && port.close_Serial() == 1;
}

// The process's open files and serial lock files, before and now.
static QByteArray heldReport(const QStringList &fds, const QStringList &locks)
{
    return QStringLiteral("open files %1 before and %2 after; serial lock files %3 before and %4 "
                          "after")
            .arg(fds.size())
            .arg(openFileDescriptors().size())
            .arg(locks.size())
            .arg(serialLockFiles().size())
            .toLocal8Bit();
}

void tst_LinkSoak::thousandOpenCloseCycles()
{
    const int cycles = 1000;
    Pty pty;
    QVERIFY(pty.isValid());
    TraceLog log;
    Port_Com port;
    QVERIFY(warmUp(port, pty.path()));
    const QStringList fds = openFileDescriptors();
    const QStringList locks = serialLockFiles();

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < cycles; ++i) {
        const int opened = port.open_Serial();
        const int closed = port.close_Serial();
        if (opened != 2 || closed != 1)
            QFAIL(qPrintable(QStringLiteral("cycle %1: open gave %2, close %3")
                                     .arg(i)
                                     .arg(opened)
                                     .arg(closed)));
    }
    const qint64 elapsed = timer.elapsed();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QCOMPARE(openFileDescriptors(), fds);
    QCOMPARE(serialLockFiles(), locks);
    QCOMPARE(log.events.count(QStringLiteral("Port_Com::open_Serial")), cycles + 1);
    qInfo("%d open/close cycles in %lld ms; %s", cycles, elapsed,
          heldReport(fds, locks).constData());
}

void tst_LinkSoak::deviceLossLeavesProcessIdle()
{
    const int idleMilliseconds = 500;
    TraceLog log;
    Port_Com port;
    {
        Pty first;
        QVERIFY(warmUp(port, first.path()));
    }
    const QStringList fds = openFileDescriptors();
    const QStringList locks = serialLockFiles();

    auto pty = std::make_unique<Pty>();
    QVERIFY(pty->isValid());
    setPortName(port, pty->path());
    QCOMPARE(port.open_Serial(), 2);
    QSignalSpy lost(port.serial_Port(), &QextSerialPort::deviceLost);

    QElapsedTimer timer;
    timer.start();
    pty.reset();
    QVERIFY(lost.wait(5000));
    const qint64 noticed = timer.elapsed();
    QVERIFY(!port.serial_Port()->isOpen());

    const double cpuBefore = cpuMilliseconds();
    timer.restart();
    QTest::qWait(idleMilliseconds);
    const double cpu = cpuMilliseconds() - cpuBefore;
    const qint64 idle = timer.elapsed();

    QCOMPARE(lost.size(), 1);
    QVERIFY2(cpu < idle / 10.0,
             qPrintable(QStringLiteral("%1 ms CPU in %2 ms idle").arg(cpu).arg(idle)));
    QCOMPARE(openFileDescriptors(), fds);
    QCOMPARE(serialLockFiles(), locks);
    qInfo("device loss noticed after %lld ms; then %.1f ms CPU over %lld ms idle; %s", noticed, cpu,
          idle, heldReport(fds, locks).constData());
}

QTEST_GUILESS_MAIN(tst_LinkSoak)
#include "tst_linksoak.moc"
