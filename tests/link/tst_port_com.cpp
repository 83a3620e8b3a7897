#include "linktest.h"
#include "port_com.h"
#include "qextserialport.h"
#include "quietwarnings.h"
#include "termiosrecorder.h"

#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <sys/stat.h>

#include <memory>

class tst_Port_Com : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void newWrapperIsClosedOnCom1At9600();
    void openAtEachRate_data();
    void openAtEachRate();
    void openFailsWithReason_data();
    void openFailsWithReason();
    void openWithoutRightsNamesDialoutGroup();
    void closeNeverOpenedPort();
    void openOnOpenPortKeepsItOpen();
    void unsupportedSettingFailsNextOpen();
    void portNames_data();
    void portNames();
    void destructionReleasesOpenLink();
    void deviceLossClosesPortAndSaysWhy();
};

static void setBaudRate(Port_Com &port, BaudRateType baud)
{
    QVERIFY(QMetaObject::invokeMethod(&port, "set_baudRate", Q_ARG(BaudRateType, baud)));
}

static bool askedForLineSettings(const termios &asked)
{
    return (asked.c_cflag & CSIZE) == CS8 && (asked.c_cflag & PARENB) && !(asked.c_cflag & PARODD)
            && !(asked.c_cflag & CSTOPB);
}

void tst_Port_Com::init()
{
    failOnAnyWarning();
}

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
    QTest::addColumn<BaudRateType>("baud");
    QTest::addColumn<speed_t>("speed");

    QTest::newRow("9600 baud") << BAUD9600 << speed_t(B9600);
    QTest::newRow("19200 baud") << BAUD19200 << speed_t(B19200);
    QTest::newRow("38400 baud") << BAUD38400 << speed_t(B38400);
    QTest::newRow("57600 baud") << BAUD57600 << speed_t(B57600);
}

void tst_Port_Com::openAtEachRate()
{
    QFETCH(BaudRateType, baud);
    QFETCH(speed_t, speed);

    Pty pty;
    QVERIFY(pty.isValid());
    Port_Com port;
    TraceLog log;
    setBaudRate(port, baud);
    setPortName(port, pty.path());
    requestedTermios().clear();

    QCOMPARE(port.open_Serial(), 2);
    QCOMPARE(log.events,
             QStringList({"Port_Com::get_baudRate", "Port_Com::set_portName",
                          "Port_Com::open_Serial"}));
    QVERIFY(port.serial_Port()->isOpen());
    QCOMPARE(port.serial_Port()->openMode(), QIODevice::ReadWrite | QIODevice::Unbuffered);
    QVERIFY(lockFileExists(pty));

    const termios applied = pty.attributes();
    QCOMPARE(cfgetispeed(&applied), speed);
    QCOMPARE(cfgetospeed(&applied), speed);
    QVERIFY(!(applied.c_cflag & CSTOPB));
    QVERIFY(!requestedTermios().isEmpty());
    // The first request sets the line; Qt then reads the settings back from
    // the driver (which dropped the parity) to change the rate.
    QVERIFY(askedForLineSettings(requestedTermios().constFirst()));
    QCOMPARE(cfgetospeed(&requestedTermios().constLast()), speed);

    log.events.clear();
    QCOMPARE(port.close_Serial(), 1);
    QCOMPARE(log.events, QStringList());
    QVERIFY(!port.serial_Port()->isOpen());
    QVERIFY(!lockFileExists(pty));
}

enum class Device { Missing, InUse, RegularFile, Folder, NoTerminal };
Q_DECLARE_METATYPE(Device)

void tst_Port_Com::openFailsWithReason_data()
{
    QTest::addColumn<Device>("device");
    QTest::addColumn<QString>("reason");

    QTest::newRow("open on missing device fails") << Device::Missing << "does not exist";
    QTest::newRow("open on device in use by another program fails")
            << Device::InUse << "in use by another program";
    QTest::newRow("open on regular file fails") << Device::RegularFile << "is not a serial port";
    QTest::newRow("open on folder fails") << Device::Folder << "is not a serial port";
    QTest::newRow("open on character device that is no terminal fails")
            << Device::NoTerminal << "is not a serial port";
}

void tst_Port_Com::openFailsWithReason()
{
    QFETCH(Device, device);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QTemporaryFile file;
    QVERIFY(file.open());
    Pty pty;
    QVERIFY(pty.isValid());
    QSerialPort otherProgram(pty.path());

    QString path;
    switch (device) {
    case Device::Missing:
        path = dir.filePath(QStringLiteral("ttyUSB0"));
        break;
    case Device::InUse:
        path = pty.path();
        QVERIFY(otherProgram.open(QIODevice::ReadWrite));
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

    Port_Com port;
    setPortName(port, path);
    const QStringList held = heldResources();
    TraceLog log;

    QCOMPARE(port.open_Serial(), 1);
    QCOMPARE(log.events, QStringList{"Port_Com::open_Serial"});
    QVERIFY(!port.serial_Port()->isOpen());
    const QString why = port.serial_Port()->errorString();
    QVERIFY2(why.contains(reason) && why.contains(path), qPrintable(why));
    QCOMPARE(heldResources(), held);

    QCOMPARE(port.close_Serial(), 1);
}

void tst_Port_Com::openWithoutRightsNamesDialoutGroup()
{
    Pty pty;
    QVERIFY(pty.isValid());
    Port_Com port;
    setPortName(port, pty.path());
    TraceLog log;

    int result = 0;
    if (::geteuid() == 0) {
        // Root may open anything: try as an ordinary user.
        if (::seteuid(65534) != 0)
            QSKIP("cannot take an ordinary user's rights");
        result = port.open_Serial();
        QVERIFY(::seteuid(0) == 0);
    } else {
        QVERIFY(::chmod(QFile::encodeName(pty.path()).constData(), 0) == 0);
        result = port.open_Serial();
    }

    QCOMPARE(result, 1);
    const QString why = port.serial_Port()->errorString();
    QVERIFY2(why.contains(QLatin1String("not allowed")) && why.contains(QLatin1String("dialout")),
             qPrintable(why));
    QVERIFY(!lockFileExists(pty));
}

void tst_Port_Com::closeNeverOpenedPort()
{
    Port_Com port;
    TraceLog log;
    QCOMPARE(port.close_Serial(), 1);
    QCOMPARE(port.close_Serial(), 1);
    QCOMPARE(log.events, QStringList());
}

void tst_Port_Com::openOnOpenPortKeepsItOpen()
{
    Pty pty;
    QVERIFY(pty.isValid());
    Port_Com port;
    setPortName(port, pty.path());
    TraceLog log;

    QCOMPARE(port.open_Serial(), 2);
    QCOMPARE(port.open_Serial(), 2);
    QCOMPARE(log.events, QStringList({"Port_Com::open_Serial", "Port_Com::open_Serial"}));
    QVERIFY(port.serial_Port()->isOpen());
    QCOMPARE(port.close_Serial(), 1);
    QVERIFY(!lockFileExists(pty));
}

void tst_Port_Com::unsupportedSettingFailsNextOpen()
{
    Pty pty;
    QVERIFY(pty.isValid());
    QextSerialPort serial;
    serial.setPortName(pty.path());

    serial.setBaudRate(static_cast<BaudRateType>(13));
    QVERIFY(!serial.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    QVERIFY2(serial.errorString().contains(QLatin1String("line settings")),
             qPrintable(serial.errorString()));
    QVERIFY(!lockFileExists(pty));

    serial.setBaudRate(BAUD19200);
    QVERIFY(serial.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    const termios applied = pty.attributes();
    QCOMPARE(cfgetospeed(&applied), speed_t(B19200));
}

void tst_Port_Com::portNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("device");

    QTest::newRow("COM1 is the first built-in port") << "COM1"
                                                     << "/dev/ttyS0";
    QTest::newRow("COM10 is the tenth built-in port") << "COM10"
                                                      << "/dev/ttyS9";
    QTest::newRow("path passes unchanged") << "/dev/pts/7"
                                           << "/dev/pts/7";
    QTest::newRow("path to adapter passes unchanged") << "/dev/serial/by-id/usb-adapter-if00"
                                                      << "/dev/serial/by-id/usb-adapter-if00";
    QTest::newRow("other name lies under /dev") << "ttyUSB0"
                                                << "/dev/ttyUSB0";
    QTest::newRow("COM0 is no port number") << "COM0"
                                            << "/dev/COM0";
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
    Pty pty;
    QVERIFY(pty.isValid());
    TraceLog log;
    auto port = std::make_unique<Port_Com>();
    setPortName(*port, pty.path());
    // Qt opens some files of its own the first time; count after that.
    QCOMPARE(port->open_Serial(), 2);
    QCOMPARE(port->close_Serial(), 1);
    const QStringList held = heldResources();

    QCOMPARE(port->open_Serial(), 2);
    QVERIFY(heldResources() != held);
    port.reset();

    QCOMPARE(heldResources(), held);
}

void tst_Port_Com::deviceLossClosesPortAndSaysWhy()
{
    Pty pty;
    QVERIFY(pty.isValid());
    QextSerialPort serial;
    serial.setPortName(pty.path());
    QVERIFY(serial.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    QSignalSpy lost(&serial, &QextSerialPort::deviceLost);
    QSignalSpy closing(&serial, &QIODevice::aboutToClose);

    pty.closeMaster();

    QVERIFY(lost.wait(5000));
    QVERIFY(!serial.isOpen());
    QCOMPARE(closing.size(), 1);
    QVERIFY2(serial.errorString().contains(QLatin1String("has disappeared")),
             qPrintable(serial.errorString()));
    QVERIFY(!lockFileExists(pty));
    QCoreApplication::processEvents();
    QCOMPARE(lost.size(), 1);
}

QTEST_GUILESS_MAIN(tst_Port_Com)
#include "tst_port_com.moc"
