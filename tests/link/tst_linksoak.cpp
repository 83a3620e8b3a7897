#include "linktest.h"
#include "port_com.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

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
#ifdef Q_OS_WIN
    FILETIME created, exited, kernel, user; // in 100 ns
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ms = [](const FILETIME &t) {
        return double((quint64(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
#else
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0
            + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
#endif
}

// Opens and closes the port once on the device: Qt opens some files of its
// own the first time, so what the process holds is counted after that.
static bool warmUp(Port_Com &port, const FarEnd &remote)
{
    setPortName(port, remote.portName());
    return port.open_Serial() == 2 && port.close_Serial() == 1 && letGo(remote);
}

void tst_LinkSoak::thousandOpenCloseCycles()
{
    const int cycles = 1000;
    FarEnd remote;
    QVERIFY(remote.isValid());
    TraceLog log;
    Port_Com port;
    QVERIFY(warmUp(port, remote));
    const QStringList held = heldResources();

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < cycles; ++i) {
        const int opened = port.open_Serial();
        const int closed = port.close_Serial();
        if (opened != 2 || closed != 1 || !letGo(remote))
            QFAIL(qPrintable(QStringLiteral("cycle %1: open gave %2, close %3: %4")
                                     .arg(i)
                                     .arg(opened)
                                     .arg(closed)
                                     .arg(port.serial_Port()->errorString())));
    }
    const qint64 elapsed = timer.elapsed();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QTRY_COMPARE(heldResources(), held);
    QCOMPARE(log.events.count(QStringLiteral("Port_Com::open_Serial")), cycles + 1);
    qInfo("%d open/close cycles in %lld ms; the same %lld open files, lock files or handles "
          "before and after",
          cycles, elapsed, qint64(held.size()));
}

void tst_LinkSoak::deviceLossLeavesProcessIdle()
{
    const int idleMilliseconds = 500;
    TraceLog log;
    Port_Com port;
    FarEnd remote;
    QVERIFY(remote.isValid());
    QVERIFY(warmUp(port, remote));
    const QStringList held = heldResources();

    QCOMPARE(port.open_Serial(), 2);
    QSignalSpy lost(port.serial_Port(), &QextSerialPort::deviceLost);

    QElapsedTimer timer;
    timer.start();
    remote.unplug();
    QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 10000);
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
    QTRY_COMPARE(heldResources(), held);
    qInfo("device loss noticed after %lld ms; then %.1f ms CPU over %lld ms idle", noticed, cpu,
          idle);
}

QTEST_GUILESS_MAIN(tst_LinkSoak)
#include "tst_linksoak.moc"
