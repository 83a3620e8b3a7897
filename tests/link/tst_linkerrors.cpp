#include "devicewatch.h"
#include "qextserialport.h"
#include "serialportlist.h"
#include "testsupport.h"

#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include "udevrules.h"
#endif

Q_DECLARE_METATYPE(QList<SerialPortList::Port>)

// What the link makes of a port's errors and of a failed open, on this
// system: which errors mean the device is gone, and what the operator is told
// about the ports there are.
class tst_LinkErrors : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnAnyWarning(); }

    void failedOpenListsPorts_data();
    void failedOpenListsPorts();
    void failedOpenCause_data();
    void failedOpenCause();
    void errorsMeaningLoss_data();
    void errorsMeaningLoss();
    void udevRuleNamingPort_data();
    void udevRuleNamingPort();
};

void tst_LinkErrors::failedOpenListsPorts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QList<SerialPortList::Port>>("ports");
    QTest::addColumn<QString>("text");

    QTest::newRow("no port at all is said so")
            << "COM4" << QList<SerialPortList::Port>() << "This computer has no serial port now.";
#ifdef Q_OS_WIN
    // Windows names ports itself: one above COM10 is renumbered in Device
    // Manager; no udev, no rule.
    const SerialPortList::Port com1{"COM1", "Communications Port", QString(), false, 0, 0};
    const SerialPortList::Port com12{"COM12", "USB Serial Port", "FTDI", true, 0x0403, 0x6001};
    const QString renumber = QStringLiteral(
            "To reach COM12 as COM4, open Device Manager; under Ports (COM & LPT) open the "
            "Properties of COM12, then Port Settings, Advanced, and set COM Port Number to COM4.");
    QTest::newRow("port up to COM10 is listed and needs nothing")
            << "COM4" << QList<SerialPortList::Port>{com1}
            << "Serial ports on this computer now:\nCOM1: Communications Port";
    QTest::newRow("adapter above COM10 is renumbered in Device Manager")
            << "COM4" << QList<SerialPortList::Port>{com1, com12}
            << "Serial ports on this computer now:\nCOM1: Communications Port\n"
               "COM12: USB Serial Port, FTDI, 0403:6001\n\n"
                    + renumber;
    QTest::newRow("no renumbering beside the chosen port, busy or not")
            << "COM1" << QList<SerialPortList::Port>{com1, com12}
            << "Serial ports on this computer now:\nCOM1: Communications Port\n"
               "COM12: USB Serial Port, FTDI, 0403:6001";
    const SerialPortList::Port bluetooth{
            "COM14", "Standard Serial over Bluetooth link", "Microsoft", false, 0, 0};
    QTest::newRow("Bluetooth port is named, and not renumbered")
            << "COM4" << QList<SerialPortList::Port>{bluetooth, com12}
            << "Serial ports on this computer now:\n"
               "COM14: Standard Serial over Bluetooth link, Microsoft\n"
               "COM12: USB Serial Port, FTDI, 0403:6001\n\n"
                    + renumber;
#else
    const SerialPortList::Port builtIn{"/dev/ttyS0", QString(), QString(), false, 0, 0};
    const SerialPortList::Port adapter{"/dev/ttyUSB0", "FT232R USB UART", "FTDI", true, 0x0403,
                                       0x6001};
    const SerialPortList::Port modem{"/dev/ttyACM0", "Modem", QString(), true, 0x1546, 0x01a7};
    const QString rule = QStringLiteral(
            "To reach %1 as COM4, put this line into /etc/udev/rules.d/99-norvex.rules, run "
            "\"sudo udevadm control --reload\" and plug the adapter in again:\n"
            "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"%2\", ATTRS{idProduct}==\"%3\", "
            "SYMLINK+=\"COM4\"");

    QTest::newRow("built-in port is listed by its device")
            << "COM4" << QList<SerialPortList::Port>{builtIn}
            << "Serial ports on this computer now:\n/dev/ttyS0";
    QTest::newRow("USB adapter is listed with its ids and the rule naming it COM4")
            << "COM4" << QList<SerialPortList::Port>{builtIn, adapter}
            << "Serial ports on this computer now:\n/dev/ttyS0\n"
               "/dev/ttyUSB0: FT232R USB UART, FTDI, 0403:6001\n\n"
                    + rule.arg("/dev/ttyUSB0", "0403", "6001");
    QTest::newRow("each USB adapter gets its rule")
            << "COM4" << QList<SerialPortList::Port>{adapter, modem}
            << "Serial ports on this computer now:\n"
               "/dev/ttyUSB0: FT232R USB UART, FTDI, 0403:6001\n/dev/ttyACM0: Modem, 1546:01a7\n\n"
                    + rule.arg("/dev/ttyUSB0", "0403", "6001") + "\n\n"
                    + rule.arg("/dev/ttyACM0", "1546", "01a7");
    QTest::newRow("a device path gets no rule")
            << "/dev/ttyUSB1" << QList<SerialPortList::Port>{adapter}
            << "Serial ports on this computer now:\n"
               "/dev/ttyUSB0: FT232R USB UART, FTDI, 0403:6001";
#endif
}

void tst_LinkErrors::failedOpenListsPorts()
{
    QFETCH(QString, name);
    QFETCH(QList<SerialPortList::Port>, ports);
    QFETCH(QString, text);

    QCOMPARE(SerialPortList::describe(name, ports), text);
}

void tst_LinkErrors::failedOpenCause_data()
{
    QTest::addColumn<QSerialPort::SerialPortError>("error");
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("cause");

#ifdef Q_OS_WIN
    QTest::newRow("line settings refused by the driver")
            << QSerialPort::UnsupportedOperationError << "COM4"
            << "The driver of COM4 refused the line settings: 8 data bits, even parity and one "
               "stop bit at 38400 baud.";
#else
    QTest::newRow("no built-in port and no udev rule")
            << QSerialPort::DeviceNotFoundError << "/dev/ttyS3"
            << "The serial device /dev/ttyS3 does not exist: this computer has no built-in "
               "serial port /dev/ttyS3, and no udev rule names a USB adapter COM4.";
#endif
}

void tst_LinkErrors::failedOpenCause()
{
    QFETCH(QSerialPort::SerialPortError, error);
    QFETCH(QString, location);
    QFETCH(QString, cause);

    QCOMPARE(QextSerialPort::openFailureCause(error, "COM4", location, BAUD38400, "Qt's reason"),
             cause);
}

void tst_LinkErrors::errorsMeaningLoss_data()
{
    QTest::addColumn<QSerialPort::SerialPortError>("error");
    QTest::addColumn<bool>("open");
    QTest::addColumn<bool>("loss");

    QTest::newRow("device removed while open") << QSerialPort::ResourceError << true << true;
    QTest::newRow("access denied while open: a pulled adapter on Windows")
            << QSerialPort::PermissionError << true << true;
    QTest::newRow("access denied at open: a busy port")
            << QSerialPort::PermissionError << false << false;
    QTest::newRow("no such device at open") << QSerialPort::DeviceNotFoundError << false << false;
    QTest::newRow("a setting refused while open")
            << QSerialPort::UnsupportedOperationError << true << false;
    QTest::newRow("timeout while open") << QSerialPort::TimeoutError << true << false;
}

void tst_LinkErrors::errorsMeaningLoss()
{
    QFETCH(QSerialPort::SerialPortError, error);
    QFETCH(bool, open);
    QFETCH(bool, loss);

    QCOMPARE(DeviceWatch::meansLoss(error, open), loss);
}

void tst_LinkErrors::udevRuleNamingPort_data()
{
    QTest::addColumn<QByteArray>("etc"); // 99-norvex.rules in the first folder, if not null
    QTest::addColumn<QByteArray>("lib"); // the same file in a later folder
    QTest::addColumn<QString>("found"); // the folder of the rule naming COM3
    QTest::addColumn<QString>("ids");

    const auto row = [](const char *name, const QByteArray &etc, const QByteArray &lib,
                        const char *found, const char *ids) {
        QTest::newRow(name) << etc << lib << QString(found) << QString(ids);
    };
    const QByteArray rule = "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"0403\", "
                            "ATTRS{idProduct}==\"6001\", SYMLINK+=\"COM3\"\n";
    row("the console's own rule", rule, QByteArray(), "etc", "0403:6001");
    row("a rule in a later folder", QByteArray(), rule, "lib", "0403:6001");
    row("a file of the same name masks a later one", "", rule, "", "");
    row("one link among several, ids in capitals",
        "ATTRS{idVendor}==\"10C4\", ATTRS{idProduct}==\"EA60\", SYMLINK+=\"bench COM3\"",
        QByteArray(), "etc", "10c4:ea60");
    row("a rule commented out", "# " + rule, QByteArray(), "", "");
    row("COM30 is not COM3", QByteArray(rule).replace("COM3", "COM30"), QByteArray(), "", "");
}

void tst_LinkErrors::udevRuleNamingPort()
{
#ifdef Q_OS_UNIX
    QFETCH(QByteArray, etc);
    QFETCH(QByteArray, lib);
    QFETCH(QString, found);
    QFETCH(QString, ids);

    QTemporaryDir dir;
    for (const auto &[folder, text] : {std::pair{"etc", etc}, std::pair{"lib", lib}}) {
        QVERIFY(QDir(dir.path()).mkpath(folder));
        QFile file(dir.filePath(folder) + QStringLiteral("/99-norvex.rules"));
        QVERIFY(text.isNull() || (file.open(QIODevice::WriteOnly) && file.write(text) >= 0));
    }

    const UdevRule rule =
            UdevRule::naming(QStringLiteral("COM3"), {dir.filePath("etc"), dir.filePath("lib")});
    QCOMPARE(rule.file, found.isEmpty() ? QString() : dir.filePath(found) + "/99-norvex.rules");
    QCOMPARE(rule.isNull() ? QString() : rule.vendorId + ':' + rule.productId, ids);
#else
    QSKIP("Windows names its ports itself");
#endif
}

QTEST_GUILESS_MAIN(tst_LinkErrors)
#include "tst_linkerrors.moc"
