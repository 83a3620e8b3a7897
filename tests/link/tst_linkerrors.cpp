#include "qextserialport.h"
#include "serialportlist.h"
#include "testsupport.h"

#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_WIN
#include "devicewatch_win.h"
#else
#include "udevrules_unix.h"
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
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
    void listingPortsOpensNone();
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
    QTest::newRow("no second rule for a COM name that a rule names")
            << "COM5" << QList<SerialPortList::Port>{builtIn, adapter}
            << "Serial ports on this computer now:\n/dev/ttyS0\n"
               "/dev/ttyUSB0: FT232R USB UART, FTDI, 0403:6001";
    QTest::newRow("no rule where the rules could not all be read")
            << "COM6" << QList<SerialPortList::Port>{adapter}
            << "Serial ports on this computer now:\n"
               "/dev/ttyUSB0: FT232R USB UART, FTDI, 0403:6001\n\nThe udev rules in "
               "%1/98-large.rules could not be read: whether one of them names COM6 is not known.";
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

    QTemporaryDir rules; // one names COM5, for an adapter that is not plugged in
    QFile rule(rules.filePath("99-norvex.rules"));
    QVERIFY(rule.open(QIODevice::WriteOnly));
    rule.write("ATTRS{idVendor}==\"10c4\", ATTRS{idProduct}==\"ea60\", SYMLINK+=\"COM5\"\n");
    rule.close();
    // COM6's rules lie, perhaps, in a file too large to read.
    QFile large(rules.filePath("98-large.rules"));
    QVERIFY(name != "COM6" || (large.open(QIODevice::WriteOnly) && large.resize((1 << 20) + 1)));
    QCOMPARE(SerialPortList::describe(name, ports, {rules.path()}),
             QString(text).replace("%1", rules.path()));
}

// Opening a port to list it raises and drops its modem lines.
void tst_LinkErrors::listingPortsOpensNone()
{
#ifdef Q_OS_UNIX
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(watch >= 0 && ::inotify_add_watch(watch, "/dev", IN_OPEN) >= 0);
    const QList<SerialPortList::Port> ports = SerialPortList::present();
    char events[4096];
    const ssize_t opened = ::read(watch, events, sizeof events);
    ::close(watch);
    QVERIFY2(opened<0, opened> 0 ? reinterpret_cast<inotify_event *>(events)->name : "");
    for (const SerialPortList::Port &port : ports)
        QVERIFY2(QFileInfo(port.device).exists(), qPrintable(port.device));
#endif
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

#ifndef Q_OS_WIN
    QSKIP("Where the console opens the tty itself, the line sees its own hang-up");
#endif
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
#ifdef Q_OS_WIN
    QFETCH(QSerialPort::SerialPortError, error);
    QFETCH(bool, open);
    QFETCH(bool, loss);

    QCOMPARE(DeviceWatch::meansLoss(error, open), loss);
#endif
}

void tst_LinkErrors::udevRuleNamingPort_data()
{
    // Files by folder (etc for /etc/udev/rules.d) and text; "<fifo>" makes a
    // FIFO, "<null>" a link to /dev/null.
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("text"); // the dialog's, none if no rule names COM3

    const auto row = [](const char *name, const QStringList &files, const QString &text) {
        QTest::newRow(name) << files << text;
    };
    const QString adapter = "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"0403\", "
                            "ATTRS{idProduct}==\"6001\", ";
    const QString rule = adapter + "SYMLINK+=\"COM3\"\n";
    const QString ids = "The USB adapter 0403:6001, which the udev rule in "
                        "%1/udev/rules.d/99-norvex.rules names COM3, is not plugged in. Plug it "
                        "in, then open the link again.";
    const QString keys = "The device that the udev rule at line %1 of "
                         "/etc/udev/rules.d/99-norvex.rules names COM3 (%2) is not plugged in. "
                         "Plug it in, then open the link again.";
    const QString own = ids.arg("/etc");
    row("the console's own rule", {"etc/99-norvex.rules", rule}, own);
    row("a rule in a later folder", {"lib/99-norvex.rules", rule}, ids.arg("/lib"));
    row("a rule in /usr/local/lib", {"usr/local/lib/99-norvex.rules", rule},
        ids.arg("/usr/local/lib"));
    row("an empty file masks a later one of its name",
        {"etc/99-norvex.rules", "", "lib/99-norvex.rules", rule}, "");
    row("a link to /dev/null masks a later file of its name",
        {"run/99-norvex.rules", "<null>", "usr/lib/99-norvex.rules", rule}, "");
    row("a FIFO among the rules is not waited on",
        {"etc/10-bench.rules", "<fifo>", "etc/99-norvex.rules", rule}, own);
    row("one link among several, ids in capitals",
        {"etc/99-norvex.rules",
         "ATTRS{idVendor}==\"10C4\", ATTRS{idProduct}==\"EA60\", SYMLINK+=\"bench COM3\""},
        "The USB adapter 10c4:ea60, which the udev rule in /etc/udev/rules.d/99-norvex.rules "
        "names COM3, is not plugged in. Plug it in, then open the link again.");
    row("links apart by a tab", {"etc/99-norvex.rules", adapter + "SYMLINK+=\"bench\tCOM3\""}, own);
    row("blanks around == and +=",
        {"etc/99-norvex.rules",
         "ATTRS{idVendor} == \"0403\",ATTRS{idProduct}==\"6001\" SYMLINK += \"COM3\""},
        own);
    row("links escaped, e\"...\"", {"etc/99-norvex.rules", adapter + "SYMLINK+=e\"a\\tCOM3\""},
        own);
    row("a final :=", {"etc/99-norvex.rules", adapter + "SYMLINK:=\"COM3\""}, own);
    row("a link in the second SYMLINK key",
        {"etc/99-norvex.rules", adapter + "SYMLINK=\"bench\", SYMLINK+=\"COM3\""}, own);
    row("a later = drops COM3",
        {"etc/99-norvex.rules", adapter + "SYMLINK+=\"COM3\", SYMLINK=\"a\""}, "");
    row("a rule continued over lines",
        {"etc/99-norvex.rules",
         "SUBSYSTEM==\"tty\", \\\n  ATTRS{idVendor}==\"0403\", \\\n"
         "# bench\n  ATTRS{idProduct}==\"6001\", SYMLINK+=\"COM3\""},
        own);
    row("by KERNELS",
        {"etc/99-norvex.rules", "# bench\n\nKERNELS==\"1-1.4:1.0\", SYMLINK+=\"COM3\""},
        keys.arg("3", "KERNELS==\"1-1.4:1.0\""));
    row("by ENV, with no vendor in ATTRS",
        {"etc/99-norvex.rules",
         "ENV{ID_VENDOR_ID}==\"0403\", ATTRS{idProduct}==\"6001\", "
         "SYMLINK+=\"COM3\""},
        keys.arg("1", "ENV{ID_VENDOR_ID}==\"0403\", ATTRS{idProduct}==\"6001\""));
    row("by two vendors",
        {"etc/99-norvex.rules",
         "ATTRS{idVendor}==\"0403|10c4\", ATTRS{idProduct}==\"6001\", "
         "SYMLINK+=\"COM3\""},
        keys.arg("1", "ATTRS{idVendor}==\"0403|10c4\", ATTRS{idProduct}==\"6001\""));
    row("a rule commented out", {"etc/99-norvex.rules", "# " + rule}, "");
    row("a rule that udev refuses", {"etc/99-norvex.rules", adapter + "SYMLINK+=COM3"}, "");
    row("COM30 is not COM3", {"etc/99-norvex.rules", QString(rule).replace("COM3", "COM30")}, "");
    row("a GOTO taken for any tty skips the rule", {"etc/99-norvex.rules", "GOTO=\"end\"\n" + rule},
        "");
    row("a GOTO taken on adding a tty skips the rule",
        {"etc/99-norvex.rules",
         "ACTION==\"add\", SUBSYSTEM==\"tty\", GOTO=\"end\"\n" + rule + "LABEL=\"end\""},
        "");
    row("a GOTO not taken for a tty, then its LABEL",
        {"etc/99-norvex.rules", "SUBSYSTEM!=\"tty\", GOTO=\"end\"\nLABEL=\"end\"\n" + rule}, own);
    row("a GOTO that may not be taken",
        {"etc/99-norvex.rules", "KERNEL==\"ttyS*\", GOTO=\"end\"\n" + rule}, own);
    row("a rule file too large to read is said so",
        {"etc/10-large.rules", "<large>", "lib/99-norvex.rules", "# none\n"},
        "The udev rules in /etc/udev/rules.d/10-large.rules could not be read: whether one of "
        "them names COM3 is not known.");
}

void tst_LinkErrors::udevRuleNamingPort()
{
#ifdef Q_OS_UNIX
    QFETCH(QStringList, files);
    QFETCH(QString, text);

    QTemporaryDir root;
    for (qsizetype i = 0; i < files.size(); i += 2) {
        const QFileInfo info(root.path() + '/' + files[i]);
        const QString folder = info.path() + "/udev/rules.d/", path = folder + info.fileName();
        QFile file(path);
        QVERIFY(QDir().mkpath(folder));
        if (files[i + 1] == "<fifo>")
            QCOMPARE(mkfifo(QFile::encodeName(path), 0600), 0);
        else if (files[i + 1] == "<null>")
            QVERIFY(QFile::link("/dev/null", path));
        else if (files[i + 1] == "<large>")
            QVERIFY(file.open(QIODevice::WriteOnly) && file.resize((1 << 20) + 1));
        else
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(files[i + 1].toUtf8()) >= 0);
    }

    QStringList folders = UdevRule::systemFolders();
    for (QString &folder : folders)
        folder.prepend(root.path());
    const UdevRule rule = UdevRule::naming(QStringLiteral("COM3"), folders);
    QCOMPARE(rule.isNull() ? QString() : rule.notPluggedIn("COM3").remove(root.path()), text);
#else
    QSKIP("Windows names its ports itself");
#endif
}

QTEST_GUILESS_MAIN(tst_LinkErrors)
#include "tst_linkerrors.moc"
