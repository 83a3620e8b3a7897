#include "linktest.h"
#include "port_com.h"
#include "qextserialport.h"
#include "quietwarnings.h"
#include "serialportlist.h"
#include "termiosrecorder.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>

#include <atomic>
#include <memory>
#include <thread>

// How a link with a talking unit ends.
enum class End { Close, DeviceGoes, DeviceGoesWhileTalking };
Q_DECLARE_METATYPE(End)

// The unit at the far end of a pseudo-terminal, talking as fast as the line
// takes it from a thread of its own, and counting what reaches it.
class TalkingUnit
{
public:
    explicit TalkingUnit(Pty &pty)
        : m_pty(pty)
        , m_master(pty.master())
    {
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        m_thread = std::thread([this] { talk(); });
    }
    ~TalkingUnit() { stop(); }
    TalkingUnit(const TalkingUnit &) = delete;
    TalkingUnit &operator=(const TalkingUnit &) = delete;

    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    // The line goes in the middle of the talk: the unit's own thread
    // closes it.
    void hangUp()
    {
        m_hangUp = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    qint64 sent() const { return m_sent; }
    qint64 received() const { return m_received; }

    bool sendOnce() { return send(); }

    // Waits up to the time given for anything to reach the unit.
    void listen(int milliseconds)
    {
        pollfd readable{m_master, POLLIN, 0};
        if (::poll(&readable, 1, milliseconds) > 0)
            receive();
    }

private:
    void talk()
    {
        while (!m_stop) {
            if (m_hangUp) {
                m_pty.closeMaster();
                return;
            }
            pollfd line{m_master, POLLIN | POLLOUT, 0};
            if (::poll(&line, 1, 10) <= 0)
                continue;
            if (line.revents & POLLIN)
                receive();
            if (line.revents & POLLOUT)
                send();
        }
    }
    bool send()
    {
        static const QByteArray chunk(4096, 'U');
        const ssize_t n = ::write(m_master, chunk.constData(), size_t(chunk.size()));
        if (n > 0)
            m_sent += n;
        return n > 0;
    }
    void receive()
    {
        char buffer[4096];
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0)
            m_received += n;
    }

    Pty &m_pty;
    int m_master;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_hangUp{false};
    std::atomic<qint64> m_sent{0};
    std::atomic<qint64> m_received{0};
    std::thread m_thread;
};

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
    void talkingUnit_data();
    void talkingUnit();
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

enum class Device { Missing, MissingBuiltIn, InUse, RegularFile, Folder, NoTerminal };
Q_DECLARE_METATYPE(Device)

void tst_Port_Com::openFailsWithReason_data()
{
    QTest::addColumn<Device>("device");
    QTest::addColumn<QString>("reason");

    QTest::newRow("open on missing device fails") << Device::Missing << "does not exist";
    QTest::newRow("open on COM99, a built-in port this computer lacks, fails")
            << Device::MissingBuiltIn << "has no built-in serial port /dev/ttyS98";
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
    case Device::MissingBuiltIn:
        path = QStringLiteral("COM99");
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
    QVERIFY2(why.endsWith(QStringLiteral("\n\n")
                          + SerialPortList::describe(path, SerialPortList::present())),
             qPrintable(why));
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

void tst_Port_Com::talkingUnit_data()
{
    QTest::addColumn<End>("end");

    QTest::newRow("unit talking at full speed, then CLOSE") << End::Close;
    QTest::newRow("unit talking at full speed, then its device goes") << End::DeviceGoes;
    QTest::newRow("device goes while the unit talks") << End::DeviceGoesWhileTalking;
}

// What a unit sends is dropped as it comes: memory stays flat, nothing goes
// back to the unit, and CLOSE and device loss work as when it is silent.
void tst_Port_Com::talkingUnit()
{
    QFETCH(End, end);
    const qint64 megabyte = 1 << 20;

    Pty pty;
    QVERIFY(pty.isValid());
    Port_Com port;
    setPortName(port, pty.path());
    QCOMPARE(port.open_Serial(), 2);
    TalkingUnit unit(pty);

    // Warmed up, then several megabytes more.
    QTRY_VERIFY_WITH_TIMEOUT(unit.sent() > megabyte, 20000);
    const qint64 heap = heapInUse();
    const qint64 sentBefore = unit.sent();
    QTRY_VERIFY_WITH_TIMEOUT(unit.sent() - sentBefore > 8 * megabyte, 60000);
    const qint64 growth = heapInUse() - heap;
    QVERIFY2(growth < megabyte / 4,
             qPrintable(QStringLiteral("heap grew by %1 bytes while %2 bytes came in")
                                .arg(growth)
                                .arg(unit.sent() - sentBefore)));
    QVERIFY(port.serial_Port()->isOpen());

    if (end != End::Close) {
        QSignalSpy lost(port.serial_Port(), &QextSerialPort::deviceLost);
        if (end == End::DeviceGoesWhileTalking)
            unit.hangUp();
        else {
            unit.stop();
            pty.closeMaster();
        }
        QVERIFY(lost.wait(5000));
        QVERIFY(!port.serial_Port()->isOpen());
        QVERIFY(!lockFileExists(pty));
        QCOMPARE(unit.received(), 0);
        return;
    }

    unit.stop();
    // CLOSE once the console has read all. Qt turns the device's own
    // settings, echo among them, back on before it closes: the unit talks
    // in that moment, and listens for an echo.
    QSignalSpy reads(port.serial_Port()->findChild<QSerialPort *>(), &QIODevice::readyRead);
    while (reads.wait(100))
        reads.clear();
    qint64 echoed = -1;
    afterTcsetattr() = [&] {
        QVERIFY(unit.sendOnce());
        unit.listen(200);
        echoed = unit.received();
    };
    QElapsedTimer closing;
    closing.start();
    const int closed = port.close_Serial();
    const qint64 elapsed = closing.elapsed();
    afterTcsetattr() = nullptr;
    QCOMPARE(closed, 1);
    QCOMPARE(echoed, 0);
    QVERIFY2(elapsed < 1000, qPrintable(QString::number(elapsed)));
    unit.listen(200);
    QCOMPARE(unit.received(), 0);
    QVERIFY(!lockFileExists(pty));
}

QTEST_GUILESS_MAIN(tst_Port_Com)
#include "tst_port_com.moc"
