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

void tst_LinkSoak::thousandOpenCloseCycles()
{
    const int cycles = 1000;
    Pty pty;
    QVERIFY(pty.isValid());
    TraceLog log;
    Port_Com port;
    setPortName(port, pty.path());
    // Qt opens some files of its own the first time; count after that.
    QCOMPARE(port.open_Serial(), 2);
    QCOMPARE(port.close_Serial(), 1);
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
    qInfo("%d open/close cycles in %lld ms; open files %lld before and %lld after; "
          "serial lock files %lld before and %lld after",
          cycles, elapsed, qint64(fds.size()), qint64(openFileDescriptors().size()),
          qint64(locks.size()), qint64(serialLockFiles().size()));
}

void tst_LinkSoak::deviceLossLeavesProcessIdle()
{
    const int idleMilliseconds = 500;
    TraceLog log;
    Port_Com port;
    {
        // Qt opens some files of its own the first time; count after that.
        Pty warmUp;
        setPortName(port, warmUp.path());
        QCOMPARE(port.open_Serial(), 2);
        QCOMPARE(port.close_Serial(), 1);
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
    qInfo("device loss noticed after %lld ms; then %.1f ms CPU over %lld ms idle; "
          "open files %lld before and %lld after; serial lock files %lld before and %lld after",
          noticed, cpu, idle, qint64(fds.size()), qint64(openFileDescriptors().size()),
          qint64(locks.size()), qint64(serialLockFiles().size()));
}

QTEST_GUILESS_MAIN(tst_LinkSoak)
#include "tst_linksoak.moc"
