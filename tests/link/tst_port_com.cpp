#include "linktest.h"
#include "testsupport.h"

#include <QDateTime>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryFile>

#include <memory>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/file.h>
#endif

// How a link ends, with a talking unit or a silent one.
enum class End {
    Close,
    CloseAndOpenAgain,
    FirstOpenThenClose,
    DeviceGoes,
    DeviceGoesWhileTalking,
    SilentDeviceGoes
};
Q_DECLARE_METATYPE(End)

class tst_Port_Com : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnAnyWarning(); }

    void newWrapperIsClosedOnCom1At9600();
    void openAtEachRate_data();
    void openAtEachRate();
    void openFailsWithReason_data();
    void openFailsWithReason();
#ifdef Q_OS_UNIX
    void othersLeftovers_data();
    void othersLeftovers();
    void signalGivesLocksBack_data();
    void signalGivesLocksBack();
#endif
    void repeatedCallsChangeNothing();
    void unsupportedSettingFailsNextOpen();
    void portNames_data();
    void portNames();
    void destructionReleasesOpenLink();
    void linkEnds_data();
    void linkEnds();
};

void tst_Port_Com::newWrapperIsClosedOnCom1At9600()
{
    TraceLog log;
    Port_Com port;
    QVERIFY(!port.serial_Port()->isOpen());
    QCOMPARE(port.serial_Port()->portName(), QStringLiteral("COM1"));
    QCOMPARE(port.serial_Port()->baudRate(), BAUD9600);
    QCOMPARE(log.events, QStringList());
}

void tst_Port_Com::openAtEachRate_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<BaudRateType>("baud");
    QTest::addColumn<qint64>("rate");

    QTest::newRow("9600 baud") << "COM3" << BAUD9600 << qint64(9600);
    QTest::newRow("19200 baud") << "COM3" << BAUD19200 << qint64(19200);
    QTest::newRow("38400 baud") << "COM3" << BAUD38400 << qint64(38400);
    QTest::newRow("57600 baud") << "COM3" << BAUD57600 << qint64(57600);
    QTest::newRow("COM10 at 57600 baud") << "COM10" << BAUD57600 << qint64(57600);
    QTest::newRow("COM12 at 9600 baud") << "COM12" << BAUD9600 << qint64(9600);
}

void tst_Port_Com::openAtEachRate()
{
    QFETCH(QString, name);
    QFETCH(BaudRateType, baud);
    QFETCH(qint64, rate);

    FarEnd remote(name);
    QVERIFY(remote.isValid());
    Port_Com port;
    TraceLog log;
    QVERIFY(QMetaObject::invokeMethod(&port, "set_baudRate", Q_ARG(BaudRateType, baud)));
    setPortName(port, remote.portName());

    QCOMPARE(port.open_Serial(), 2);
    QCOMPARE(log.events,
             QStringList({"Port_Com::get_baudRate", "Port_Com::set_portName",
                          "Port_Com::open_Serial"}));
    QVERIFY(port.serial_Port()->isOpen());
    QCOMPARE(port.serial_Port()->openMode(), QIODevice::ReadWrite | QIODevice::Unbuffered);
    QVERIFY(remote.isHeld());

    QTRY_COMPARE(remote.settings().rate, rate);
    QCOMPARE(remote.settings().stopBits, 1);
    if (!remote.isPseudoTerminal()) {
        QCOMPARE(remote.settings().dataBits, 8);
        QCOMPARE(remote.settings().parity, QStringLiteral("even"));
        QTRY_COMPARE(remote.wire(rate), QStringLiteral("8E1 at %1").arg(rate));
    }
    const LineSettings asked = remote.asked();
    QCOMPARE(asked.dataBits, 8);
    QCOMPARE(asked.parity, QStringLiteral("even"));
    QCOMPARE(asked.stopBits, 1);

    log.events.clear();
    QCOMPARE(port.close_Serial(), 1);
    QCOMPARE(log.events, QStringList());
    QVERIFY(!port.serial_Port()->isOpen());
    QTRY_VERIFY(!remote.isHeld());
    QCOMPARE(remote.received(), 0);
    // Left so that the next open starts without echo.
    QVERIFY(!remote.settings().echo);
}

enum class Device {
    Missing,
    MissingBuiltIn,
    Unplugged,
    InUse,
    InUseByKernelName,
    NoRights,
    RegularFile,
    Folder,
    NoTerminal
};
Q_DECLARE_METATYPE(Device)

void tst_Port_Com::openFailsWithReason_data()
{
    QTest::addColumn<Device>("device");
    QTest::addColumn<QString>("reason");

    QTest::newRow("open on missing device fails") << Device::Missing << "does not exist";
    QTest::newRow("open on device in use by another program fails")
            << Device::InUse << "in use by another program";
#ifdef Q_OS_UNIX
    QTest::newRow("open on COM99, a built-in port this computer lacks, fails")
            << Device::MissingBuiltIn << "has no built-in serial port /dev/ttyS98";
    QTest::newRow("open on an adapter's name while it is unplugged names its udev rule")
            << Device::Unplugged << "%ids, which the udev rule in /etc/udev/rules.d/";
    QTest::newRow("open on device that another program opened by its kernel name fails")
            << Device::InUseByKernelName << "in use by another program";
    QTest::newRow("open without rights to the device names the dialout group")
            << Device::NoRights << "Add your account to the dialout group";
    QTest::newRow("open on regular file fails") << Device::RegularFile << "is not a serial port";
    QTest::newRow("open on folder fails") << Device::Folder << "is not a serial port";
    QTest::newRow("open on character device that is no terminal fails")
            << Device::NoTerminal << "is not a serial port";
#endif
}

void tst_Port_Com::openFailsWithReason()
{
    QFETCH(Device, device);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QTemporaryFile file;
    QVERIFY(file.open());
    FarEnd remote;
    QVERIFY(remote.isValid());
    QSerialPort otherProgram(remote.location());
    Port_Com port;
    // Counted before the other program opens: under wine its port starts
    // threads of its own a while after.
    const QStringList held = heldResources();

    QString path;
    switch (device) {
    case Device::Missing:
        path = remote.missingPortName();
        break;
    case Device::MissingBuiltIn:
        path = QStringLiteral("COM99");
        break;
    case Device::Unplugged:
        if (!remote.canUnplug() || remote.isPseudoTerminal())
            QSKIP("needs an adapter that a udev rule names");
        path = remote.portName();
        QVERIFY(remote.pullOut());
        break;
    case Device::InUse:
        path = remote.portName();
        QVERIFY(otherProgram.open(QIODevice::ReadWrite));
        break;
    case Device::InUseByKernelName:
        path = remote.portName();
        otherProgram.setPortName(remote.kernelDevice());
        QVERIFY(otherProgram.open(QIODevice::ReadWrite));
        break;
    case Device::NoRights:
        path = remote.portName();
        if (!remote.takeRights())
            QSKIP("the device is not this user's to take rights from");
        break;
    case Device::RegularFile:
        path = file.fileName();
        break;
    case Device::Folder:
        path = dir.path();
        break;
    case Device::NoTerminal:
        path = QStringLiteral("/dev/null");
        break;
    }

    setPortName(port, path);
    TraceLog log;
    const QByteArray line = device == Device::InUse ? remote.lineState() : QByteArray();

    QCOMPARE(port.open_Serial(), 1);
    QVERIFY(line.isNull() || remote.lineState() == line);
    QCOMPARE(log.events, QStringList{"Port_Com::open_Serial"});
    QVERIFY(!port.serial_Port()->isOpen());
    const QString why = port.serial_Port()->errorString();
    const QString shown = device == Device::MissingBuiltIn ? QStringLiteral("/dev/ttyS98")
            : device == Device::Unplugged                  ? remote.portName()
            : path == remote.portName()                    ? remote.location()
                                                           : path;
    reason.replace(QLatin1String("%ids"), remote.adapterIds());
    QVERIFY2(explainsFailedOpen(why, shown, reason), qPrintable(why));
    // A COM name that is there, busy or not, needs no rule to name it.
    QVERIFY2((device != Device::InUse && device != Device::InUseByKernelName)
                     || !why.contains(QLatin1String("udevadm")),
             qPrintable(why));
    otherProgram.close();
    QTRY_COMPARE(heldResources(), held);

    QCOMPARE(port.close_Serial(), 1);
}

#ifdef Q_OS_UNIX
// What other programs and users leave where serial programs take their locks,
// and what they do while this one takes its own.
enum class Leftover {
    Fifo,
    FifoKeepsComing,
    Folder,
    Link,
    Huge,
    Empty,
    OldEmpty,
    OtherHost,
    Flocked,
    GoneHolder,
    NumberReused,
    LiveHolder,
    TakenMeanwhile,
    OpenedBy,
    OpenedAsPath
};
Q_DECLARE_METATYPE(Leftover)

void tst_Port_Com::othersLeftovers_data()
{
    QTest::addColumn<Leftover>("leftover");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>(
            "refusal"); // %1 the device, %2 sleep's pid, %3 the lock; empty: opens

    const QString lock = "The serial device %1 is in use by another program: sleep (process %2) "
                         "holds its lock file %3. Close that program, then open the link again.";
    const QString unjudged = "The serial device %1 is in use by another program, which holds its "
                             "lock file %3. Close that program, then open the link again.";
    const QString inTheWay = "The serial device %1 cannot be locked: %3 is in the way, a stale "
                             "lock or no lock file at all, and it could not be removed. ";
    const auto row = [](const char *name, Leftover leftover, const char *folder,
                        const QString &refusal) {
        QTest::newRow(name) << leftover << QString(folder) << refusal;
    };
    row("FIFO in /tmp is no lock", Leftover::Fifo, "/tmp", "");
    row("FIFO where the lock goes is no lock", Leftover::Fifo, "/run/lock", "");
    row("FIFO that keeps coming back where the lock goes refuses, not waits",
        Leftover::FifoKeepsComing, "/run/lock", inTheWay);
    row("folder where the lock goes refuses", Leftover::Folder, "/run/lock", inTheWay);
    row("link to a live lock is no lock", Leftover::Link, "/run/lock", "");
    row("16 MiB without a line, just written, may be live", Leftover::Huge, "/var/tmp", unjudged);
    row("empty lock, as its owner writes it, may be live", Leftover::Empty, "/run/lock", unjudged);
    row("empty lock older than 30 s is stale", Leftover::OldEmpty, "/run/lock", "");
    row("another computer's lock may be live", Leftover::OtherHost, "/run/lock", unjudged);
    row("lock of a gone process that another holds an flock on is live", Leftover::Flocked,
        "/run/lock", lock);
    row("lock of a process that is gone", Leftover::GoneHolder, "/run/lock", "");
    row("lock whose process number another program has now", Leftover::NumberReused, "/tmp", "");
    row("live lock where the lock goes refuses", Leftover::LiveHolder, "/run/lock", lock);
    row("live lock in /var/tmp refuses", Leftover::LiveHolder, "/var/tmp", lock);
    row("lock that another takes as this one is taken refuses", Leftover::TakenMeanwhile,
        "/run/lock", lock);
    row("program with the device open and no lock refuses", Leftover::OpenedBy, "/tmp",
        "The serial device %1 is in use by another program: sleep (process %2) has it open. "
        "Close that program, then open the link again.");
    row("program with only a path descriptor of the device holds nothing", Leftover::OpenedAsPath,
        "/tmp", "");
}

// Refused or not, OPEN neither blocks nor changes a line that another
// program holds, nor removes a lock that may be live.
void tst_Port_Com::othersLeftovers()
{
    QFETCH(Leftover, leftover);
    QFETCH(QString, folder);
    QFETCH(QString, refusal);

    FarEnd remote;
    QVERIFY(remote.isValid());
    const QString device = remote.kernelDevice();
    const QString path = folder + "/LCK.." + device.mid(5).replace('/', '_');
    QTemporaryDir dir;
    const QString elsewhere = dir.filePath("lock");
    QProcess sleep;
    int flocked = -1;
    const auto cleanUp = qScopeGuard([&] {
        beforeLink() = nullptr;
        QFile::remove(path);
        QDir().rmdir(path);
        if (flocked >= 0)
            ::close(flocked);
        sleep.kill();
        sleep.waitForFinished();
    });
    const auto write = [](const QString &file, const QByteArray &text) {
        QFile lock(file);
        return lock.open(QIODevice::WriteOnly) && lock.write(text) == text.size();
    };
    // Handed down without blocking for a carrier, as a terminal program has it.
    const int held = leftover == Leftover::OpenedBy
            ? ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK)
            : leftover == Leftover::OpenedAsPath
            ? ::open(QFile::encodeName(device).constData(), O_PATH)
            : -1;
    const bool gone = leftover == Leftover::GoneHolder || leftover == Leftover::Flocked;
    sleep.start("sleep", {gone ? "0" : "60"});
    QVERIFY(sleep.waitForStarted());
    if (held >= 0)
        ::close(held);
    const QByteArray pid = QByteArray::number(sleep.processId());
    const QByteArray live = pid + "\nsleep\n" + QSysInfo::machineHostName().toUtf8() + "\n";
    const auto program = [&pid] {
        QFile comm("/proc/" + pid + "/comm");
        return comm.open(QIODevice::ReadOnly) ? comm.readAll().trimmed() : QByteArray();
    };
    if (gone)
        QTRY_COMPARE(sleep.state(), QProcess::NotRunning);
    else
        QTRY_COMPARE(program(), "sleep"); // its descriptors are there from then on
    const QByteArray lockPath = QFile::encodeName(path);
    switch (leftover) {
    case Leftover::Fifo:
        QCOMPARE(::mkfifo(lockPath.constData(), 0666), 0);
        break;
    case Leftover::FifoKeepsComing:
        beforeLink() = [&](const char *to) {
            if (lockPath == to)
                ::mkfifo(to, 0666);
        };
        break;
    case Leftover::Folder:
        QVERIFY(QDir().mkdir(path));
        break;
    case Leftover::Link:
        QVERIFY(write(elsewhere, live) && QFile::link(elsewhere, path));
        break;
    case Leftover::Huge:
        QVERIFY(write(path, QByteArray(16 << 20, '7')));
        break;
    case Leftover::Empty:
    case Leftover::OldEmpty: {
        QFile lock(path);
        QVERIFY(lock.open(QIODevice::WriteOnly));
        QVERIFY(leftover == Leftover::Empty
                || lock.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                    QFileDevice::FileModificationTime));
        break;
    }
    case Leftover::OtherHost:
        QVERIFY(write(path, pid + "\nsleep\nelsewhere\n"));
        break;
    case Leftover::Flocked:
        QVERIFY(write(path, pid + "\nsleep\n"));
        flocked = ::open(lockPath.constData(), O_RDONLY | O_CLOEXEC);
        QCOMPARE(::flock(flocked, LOCK_EX), 0);
        break;
    case Leftover::GoneHolder:
        QVERIFY(write(path, pid + "\nsleep\n"));
        break;
    case Leftover::NumberReused:
        QVERIFY(write(path, "  " + pid + " minicom root\n"));
        break;
    case Leftover::LiveHolder:
        QVERIFY(write(path, live));
        break;
    case Leftover::TakenMeanwhile:
        beforeLink() = [&](const char *to) {
            if (lockPath == to && !QFileInfo::exists(path))
                write(path, live);
        };
        break;
    case Leftover::OpenedBy:
    case Leftover::OpenedAsPath:
        break;
    }

    Port_Com port;
    setPortName(port, remote.portName());
    const QByteArray line = remote.lineState();
    QCOMPARE(port.open_Serial(), refusal.isEmpty() ? 2 : 1);
    const QString why = port.serial_Port()->errorString();
    if (refusal.isEmpty()) {
        QCOMPARE(port.close_Serial(), 1);
        QVERIFY(leftover != Leftover::Link || QFileInfo::exists(elsewhere));
    } else {
        refusal.replace("%1", remote.location()).replace("%2", pid).replace("%3", path);
        QVERIFY2(why.startsWith(refusal) && why.contains("\n\n"), qPrintable(why));
        QCOMPARE(remote.lineState(), line);
    }
    QCOMPARE(remote.received(), 0);
}

void tst_Port_Com::signalGivesLocksBack_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM, as kill and logging out send") << SIGTERM;
    QTest::newRow("SIGHUP, as a terminal that closes sends") << SIGHUP;
    QTest::newRow("SIGINT, as Ctrl+C sends") << SIGINT;
}

// A console ended by a signal leaves no lock file behind.
void tst_Port_Com::signalGivesLocksBack()
{
    QFETCH(int, signal);

    FarEnd remote;
    QVERIFY(remote.isValid());
    const QString lock = "/run/lock/LCK.." + remote.kernelDevice().mid(5).replace('/', '_');
    QProcess console; // holds the link until it ends
    console.start(QCoreApplication::applicationDirPath() + "/norvex_linkprobe",
                  {remote.portName()});
    QVERIFY(console.waitForReadyRead());
    QCOMPARE(console.readAll(), "open\n");
    QVERIFY(QFileInfo::exists(lock));
    QCOMPARE(::kill(pid_t(console.processId()), signal), 0);
    QVERIFY(console.waitForFinished());
    QCOMPARE(console.exitStatus(), QProcess::CrashExit);
    QVERIFY(!QFileInfo::exists(lock));
}
#endif

// CLOSE on a port never opened, and OPEN on an open one.
void tst_Port_Com::repeatedCallsChangeNothing()
{
    FarEnd remote;
    QVERIFY(remote.isValid());
    Port_Com port;
    TraceLog log;
    QCOMPARE(port.close_Serial(), 1);
    QCOMPARE(port.close_Serial(), 1);
    QCOMPARE(log.events, QStringList());

    setPortName(port, remote.portName());
    log.events.clear();
    QCOMPARE(port.open_Serial(), 2);
    QCOMPARE(port.open_Serial(), 2);
    QCOMPARE(log.events, QStringList({"Port_Com::open_Serial", "Port_Com::open_Serial"}));
    QVERIFY(port.serial_Port()->isOpen());
    QCOMPARE(port.close_Serial(), 1);
    QTRY_VERIFY(!remote.isHeld());
}

void tst_Port_Com::unsupportedSettingFailsNextOpen()
{
    FarEnd remote;
    QVERIFY(remote.isValid());
    QextSerialPort serial;
    serial.setPortName(remote.portName());

    serial.setBaudRate(static_cast<BaudRateType>(13));
    QVERIFY(!serial.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    QVERIFY2(serial.errorString().contains(QLatin1String("line settings")),
             qPrintable(serial.errorString()));
    QTRY_VERIFY(!remote.isHeld());

    serial.setBaudRate(BAUD19200);
    QVERIFY(serial.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    QTRY_COMPARE(remote.settings().rate, qint64(19200));
}

void tst_Port_Com::portNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("device");

    // Windows reaches every COM name itself, COM10 and above included
    // (openAtEachRate opens them); a path passes unchanged there too.
    const auto row = [](const char *name, const char *from, const char *to) {
        QTest::newRow(name) << QString(from) << QString(to);
    };
    row("path passes unchanged", "/dev/pts/7", "/dev/pts/7");
    row("path to adapter passes unchanged", "/dev/serial/by-id/usb-adapter-if00",
        "/dev/serial/by-id/usb-adapter-if00");
#ifdef Q_OS_UNIX
    row("COM1 is the first built-in port", "COM1", "/dev/ttyS0");
    row("COM10 is the tenth built-in port", "COM10", "/dev/ttyS9");
    row("other name lies under /dev", "ttyUSB0", "/dev/ttyUSB0");
    row("COM0 is no port number", "COM0", "/dev/COM0");
    row("lower-case com4 is a device name", "com4", "/dev/com4");
    row("COM number past an int is a device name", "COM4294967297", "/dev/COM4294967297");
#endif
}

void tst_Port_Com::portNames()
{
    QFETCH(QString, name);
    QFETCH(QString, device);

    if (device.startsWith(QLatin1String("/dev/ttyS"))
        && QFileInfo(QStringLiteral("/dev/") + name).exists())
        QSKIP("this machine names an adapter so");
    QextSerialPort serial;
    serial.setPortName(name);
    QCOMPARE(serial.systemLocation(), device);
    QCOMPARE(serial.portName(), name);
}

void tst_Port_Com::destructionReleasesOpenLink()
{
    FarEnd remote;
    QVERIFY(remote.isValid());
    TraceLog log;
    auto port = std::make_unique<Port_Com>();
    setPortName(*port, remote.portName());
    checkEndReleasesLink(
            remote, [&] { QCOMPARE(port->open_Serial(), 2); },
            [&] { QCOMPARE(port->close_Serial(), 1); }, [&] { port.reset(); });
}

void tst_Port_Com::linkEnds_data()
{
    QTest::addColumn<End>("end");

    QTest::newRow("unit talking at full speed, then CLOSE") << End::Close;
    QTest::newRow("unit talks through 25 OPEN and CLOSE") << End::CloseAndOpenAgain;
#ifdef Q_OS_UNIX
    QTest::newRow("unit talks into the first OPEN after a plug") << End::FirstOpenThenClose;
#endif
    QTest::newRow("unit talking at full speed, then its device goes") << End::DeviceGoes;
    QTest::newRow("device goes while the unit talks") << End::DeviceGoesWhileTalking;
    QTest::newRow("silent unit, then its device goes") << End::SilentDeviceGoes;
}

// What a unit sends is dropped as it comes: memory stays flat, nothing goes
// back to the unit, and CLOSE and device loss work as when it is silent. A
// lost device closes the port once and says why.
void tst_Port_Com::linkEnds()
{
    QFETCH(End, end);

    FarEnd remote;
    QVERIFY(remote.isValid());
    const bool deviceGoes = end >= End::DeviceGoes;
    if (deviceGoes && !remote.canUnplug())
        QSKIP("a built-in serial port cannot be pulled out");
    Port_Com port;
    setPortName(port, remote.portName());
    const bool fresh = end == End::FirstOpenThenClose;
#ifdef Q_OS_UNIX
    QVERIFY(!fresh || remote.plugInTalking());
#endif
    QCOMPARE(port.open_Serial(), 2);
#ifdef Q_OS_UNIX
    if (fresh) {
        // What the kernel echoed between the open and the first setting of
        // the line, once the unit has talked a while into the open port: the
        // one figure that may not be 0, shown; the far end takes as echo only
        // what the unit said, in its order, and counts the rest as received.
        QTRY_VERIFY_WITH_TIMEOUT(remote.sent() > remote.plenty() / 64, 20000);
        qInfo("%lld bytes came back over the first OPEN on the kernel's fresh settings",
              remote.freshEcho());
    }
#endif
    if (end != End::SilentDeviceGoes && !fresh) {
        remote.talk();
        // Warmed up, then several times as much; once per port, as the
        // bytes are read the same way whatever comes next.
        QTRY_VERIFY_WITH_TIMEOUT(remote.sent() > remote.plenty() / 8, 20000);
    }
    if (end == End::Close) {
        const qint64 memory = memoryInUse();
        const qint64 sentBefore = remote.sent();
        QTRY_VERIFY_WITH_TIMEOUT(remote.sent() - sentBefore > remote.plenty(), 60000);
        const qint64 growth = memoryInUse() - memory;
        QVERIFY2(growth < memorySlack,
                 qPrintable(QStringLiteral("memory grew by %1 bytes while %2 bytes came in")
                                    .arg(growth)
                                    .arg(remote.sent() - sentBefore)));
    }
    QVERIFY(port.serial_Port()->isOpen());

    QElapsedTimer clock;
    clock.start();
    if (deviceGoes) {
        if (end == End::DeviceGoes)
            remote.quiet();
        QSignalSpy lost(port.serial_Port(), &QextSerialPort::deviceLost);
        QSignalSpy closing(port.serial_Port(), &QIODevice::aboutToClose);
        qint64 lostAt = -1;
        connect(port.serial_Port(), &QextSerialPort::deviceLost, &port,
                [&] { lostAt = clock.elapsed(); });
        clock.restart();
        const qint64 went = remote.unplug();
        QTRY_VERIFY_WITH_TIMEOUT(!port.serial_Port()->isOpen(), 10000);
        // On the bench the device goes while the order is under way: both
        // times count from the order.
        qInfo("device loss noticed %lld ms after the order to take the device away, "
              "which came back done after %lld ms",
              lostAt, went);
        QCOMPARE(closing.size(), 1);
        const QString why = port.serial_Port()->errorString();
        QVERIFY2(why.contains(QLatin1String("has disappeared")), qPrintable(why));
        QTRY_VERIFY(!remote.isHeld());
        QCoreApplication::processEvents();
        QCOMPARE(lost.size(), 1);
        QCOMPARE(remote.received(), 0);
        return;
    }
    if (end == End::CloseAndOpenAgain) {
        // The unit talks into each OPEN and CLOSE, as it would while the
        // technician tries ports and rates.
        const qint64 transmitted = remote.transmitted();
        for (int cycle = 0; cycle < 25; ++cycle) {
            QCOMPARE(port.close_Serial(), 1);
            QVERIFY(letGo(remote));
            QCOMPARE(port.open_Serial(), 2);
        }
        QCOMPARE(remote.transmitted(), transmitted);
        QCOMPARE(port.close_Serial(), 1);
        QCOMPARE(remote.received(), 0);
        QTRY_VERIFY(!remote.isHeld());
        return;
    }

    // A pseudo-terminal's unit goes quiet, so that the console can have
    // read all; a real line's talks on through CLOSE.
    if (remote.isPseudoTerminal())
        remote.quiet();
        // Until the console has read all. Should it set the line as it closes,
        // the unit talks in that moment, and listens for an echo.
#ifdef Q_OS_WIN
    QSignalSpy reads(port.serial_Port()->findChild<QSerialPort *>(), &QIODevice::readyRead);
    while (reads.wait(100))
        reads.clear();
#else
    if (remote.isPseudoTerminal())
        QTRY_COMPARE(remote.unread(), 0);
#endif
    remote.sendOnEachSetting(true);
    clock.restart();
    const int closed = port.close_Serial();
    remote.sendOnEachSetting(false);
    qInfo("CLOSE took %lld ms", clock.elapsed());
    QCOMPARE(closed, 1);
    QCOMPARE(remote.received(), 0);
    QTRY_VERIFY(!remote.isHeld());
}

QTEST_GUILESS_MAIN(tst_Port_Com)
#include "tst_port_com.moc"
