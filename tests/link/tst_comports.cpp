#include "comPc.h"
#include "configuration.h"
#include "linktest.h"
#include "quietwarnings.h"
#include "serialportlist.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QRadioButton>
#include <QSaveFile>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <memory>

#include <windows.h>

#include <psapi.h>

// The far end of a COM port under wine: the pty host on the Linux side
// (tests/wine/ptyhost.c) takes orders through a file and writes what it
// sees of the port into another.
class FarEnd
{
public:
    explicit FarEnd(const QString &port)
        : m_base(QStringLiteral(NORVEX_WINE_PORTS_DIR "/") + port)
    { }

    QString value(const QString &key) const
    {
        QFile file(m_base + QStringLiteral("-state"));
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        const QByteArray prefix = key.toLatin1() + ' ';
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.startsWith(prefix))
                return QString::fromLatin1(line.mid(prefix.size()));
        }
        return QString();
    }
    qint64 number(const QString &key) const { return value(key).toLongLong(); }

    // Gives an order and waits until the host has carried it out; the host
    // has then also counted what reached it before. Returns what went wrong.
    QString order(const QString &order) const
    {
        const qint64 sequence = number(QStringLiteral("done")) + 1;
        QSaveFile file(m_base + QStringLiteral("-order"));
        if (!file.open(QIODevice::WriteOnly))
            return file.errorString();
        file.write(QByteArray::number(sequence) + ' ' + order.toLatin1() + '\n');
        if (!file.commit())
            return file.errorString();
        if (!QTest::qWaitFor([&] { return number(QStringLiteral("done")) == sequence; }))
            return QStringLiteral("the pty host did not carry out order %1").arg(sequence);
        return QString();
    }

private:
    QString m_base;
};

// Private bytes of this process (its commit charge): what it keeps grows
// them. wine leaves PrivateUsage at 0 but counts PagefileUsage, which is the
// same figure on Windows.
static qint64 privateBytes()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return qint64(counters.PagefileUsage);
}

static const QString openLine = QStringLiteral("Com Data Link: open \n");
static const QString closeLine = QStringLiteral("Com Data Link: close \n");

// The data link on Windows COM ports, under wine, through the Data Link
// panel as the operator uses it.
class tst_ComPorts : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void openAndClose_data();
    void openAndClose();
    void busyPortFailsToOpen();
    void deviceLossReturnsToClosed_data();
    void deviceLossReturnsToClosed();
    void talkingUnitIsDropped();

private:
    void createPanel(int portIndex, int rateIndex);
    template<typename T>
    T *child(const char *name) const;
    void click(const char *button);
    QList<int> results() const;
    QStringList logLines() const;
    bool selectorsEnabled() const;

    std::unique_ptr<Configuration> panel;
    comPc reporter;
    std::unique_ptr<QSignalSpy> opened;
    std::unique_ptr<QSignalSpy> lines;
};

void tst_ComPorts::init()
{
    failOnAnyWarning();
}

void tst_ComPorts::cleanup()
{
    opened.reset();
    lines.reset();
    panel.reset();
}

// The panel with COM<portIndex + 1> and the rate at rateIndex chosen, its
// results turned into log lines as the main window does.
void tst_ComPorts::createPanel(int portIndex, int rateIndex)
{
    panel = std::make_unique<Configuration>();
    opened = std::make_unique<QSignalSpy>(panel.get(), &Configuration::sig_open_Serial);
    lines = std::make_unique<QSignalSpy>(&reporter, &comPc::sig_text);
    connect(panel.get(), &Configuration::sig_open_Serial, &reporter, &comPc::status_RS232);
    child<QComboBox>("portName_combo")->setCurrentIndex(portIndex);
    child<QComboBox>("baud_combo")->setCurrentIndex(rateIndex);
    panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel.get()));
}

template<typename T>
T *tst_ComPorts::child(const char *name) const
{
    auto *widget = panel->findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

void tst_ComPorts::click(const char *button)
{
    QTest::mouseClick(child<QRadioButton>(button), Qt::LeftButton);
}

QList<int> tst_ComPorts::results() const
{
    QList<int> found;
    for (const QList<QVariant> &emission : *opened)
        found << emission.at(0).toInt();
    return found;
}

QStringList tst_ComPorts::logLines() const
{
    QStringList found;
    for (const QList<QVariant> &emission : *lines)
        found << emission.at(0).toString();
    return found;
}

bool tst_ComPorts::selectorsEnabled() const
{
    return child<QComboBox>("portName_combo")->isEnabled()
            && child<QComboBox>("baud_combo")->isEnabled();
}

void tst_ComPorts::openAndClose_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("rateIndex");
    QTest::addColumn<qint64>("rate");

    QTest::newRow("COM3 opens and closes at 9600") << "COM3" << 0 << qint64(9600);
    QTest::newRow("COM3 opens and closes at 19200") << "COM3" << 1 << qint64(19200);
    QTest::newRow("COM3 opens and closes at 38400") << "COM3" << 2 << qint64(38400);
    QTest::newRow("COM3 opens and closes at 57600") << "COM3" << 3 << qint64(57600);
    QTest::newRow("COM10 opens and closes at 57600") << "COM10" << 3 << qint64(57600);
}

void tst_ComPorts::openAndClose()
{
    QFETCH(QString, port);
    QFETCH(int, rateIndex);
    QFETCH(qint64, rate);

    const FarEnd farEnd(port);
    createPanel(port.mid(3).toInt() - 1, rateIndex);
    DialogCatcher dialogs;

    click("openCom");
    QCOMPARE(results(), QList<int>{2});
    QVERIFY(!selectorsEnabled());
    // The rate and framing as the pty received them; parity does not show,
    // as a pty driver drops it.
    QTRY_COMPARE(farEnd.number(QStringLiteral("speed")), rate);
    QCOMPARE(farEnd.number(QStringLiteral("stopbits")), qint64(1));
    QCOMPARE(farEnd.number(QStringLiteral("databits")), qint64(8));

    click("closeCom");
    QCOMPARE(results(), QList<int>({2, 1}));
    QVERIFY(selectorsEnabled());
    QCOMPARE(logLines(), QStringList({openLine, closeLine}));
    QCOMPARE(farEnd.order(QStringLiteral("quiet")), QString());
    QCOMPARE(farEnd.number(QStringLiteral("received")), qint64(0));
    QCOMPARE(dialogs.seen.size(), 0);
}

void tst_ComPorts::busyPortFailsToOpen()
{
    QSerialPort otherProgram(QStringLiteral("COM3"));
    QVERIFY(otherProgram.open(QIODevice::ReadWrite));
    createPanel(2, 0);
    DialogCatcher dialogs;

    click("openCom");

    QCOMPARE(results(), QList<int>({1, 1}));
    QCOMPARE(dialogs.seen.size(), 1);
    const SeenDialog &dialog = dialogs.seen.constFirst();
    QCOMPARE(dialog.text, QStringLiteral("Port com not opened"));
    // Windows refuses a port held elsewhere as access denied; the ports that
    // exist follow the reason, COM3 among them.
    QVERIFY2(dialog.informativeText.contains(QStringLiteral("COM3 is in use by another program")),
             qPrintable(dialog.informativeText));
    const QList<SerialPortList::Port> present = SerialPortList::present();
    QVERIFY2(dialog.informativeText.endsWith(
                     SerialPortList::describe(QStringLiteral("COM3"), present)),
             qPrintable(dialog.informativeText));
    QVERIFY2(std::any_of(present.cbegin(), present.cend(),
                         [](const SerialPortList::Port &port) {
                             return port.device.endsWith(QStringLiteral("COM3"));
                         }),
             qPrintable(dialog.informativeText));
    QVERIFY(child<QRadioButton>("closeCom")->isChecked());
    QVERIFY(selectorsEnabled());
    QVERIFY(otherProgram.isOpen());
}

void tst_ComPorts::deviceLossReturnsToClosed_data()
{
    QTest::addColumn<bool>("talkedFirst");

    QTest::newRow("device lost on a quiet line") << false;
    QTest::newRow("device lost after the unit talked") << true;
}

void tst_ComPorts::deviceLossReturnsToClosed()
{
    QFETCH(bool, talkedFirst);

    const FarEnd farEnd(QStringLiteral("COM3"));
    createPanel(2, 3);
    DialogCatcher dialogs;
    click("openCom");
    QCOMPARE(results(), QList<int>{2});
    if (talkedFirst) {
        const qint64 sentBefore = farEnd.number(QStringLiteral("sent"));
        QCOMPARE(farEnd.order(QStringLiteral("talk 100000")), QString());
        QTRY_VERIFY(farEnd.number(QStringLiteral("sent")) > sentBefore + 64 * 1024);
        QCOMPARE(farEnd.order(QStringLiteral("quiet")), QString());
    }

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(farEnd.order(QStringLiteral("unplug")), QString());
    QTRY_VERIFY(child<QRadioButton>("closeCom")->isChecked());
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));

    QCoreApplication::processEvents();
    QCOMPARE(results(), QList<int>({2, 1}));
    QVERIFY(selectorsEnabled());
    QCOMPARE(logLines(), QStringList({openLine, closeLine}));
    QCOMPARE(dialogs.seen.size(), 0);

    // The device back (a new pty under the same name) opens again.
    click("openCom");
    QCOMPARE(results(), QList<int>({2, 1, 2}));
    click("closeCom");
    QCOMPARE(results(), QList<int>({2, 1, 2, 1}));
}

void tst_ComPorts::talkingUnitIsDropped()
{
    const FarEnd farEnd(QStringLiteral("COM3"));
    createPanel(2, 3);
    DialogCatcher dialogs;
    click("openCom");
    QCOMPARE(results(), QList<int>{2});

    // Far faster than the line: what the console kept would soon show.
    QCOMPARE(farEnd.order(QStringLiteral("talk 1000000")), QString());
    QTRY_VERIFY_WITH_TIMEOUT(farEnd.number(QStringLiteral("sent")) > 256 * 1024, 10000);
    const qint64 before = privateBytes();
    const qint64 sentBefore = farEnd.number(QStringLiteral("sent"));
    const qint64 amount = 4 * 1024 * 1024;
    QTRY_VERIFY_WITH_TIMEOUT(farEnd.number(QStringLiteral("sent")) > sentBefore + amount, 30000);
    const qint64 grown = privateBytes() - before;
    QVERIFY2(grown < amount / 4, qPrintable(QString::number(grown)));

    QElapsedTimer clock;
    clock.start();
    click("closeCom");
    QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(results(), QList<int>({2, 1}));
    QCOMPARE(farEnd.order(QStringLiteral("quiet")), QString());
    QCOMPARE(farEnd.number(QStringLiteral("received")), qint64(0));
    QCOMPARE(dialogs.seen.size(), 0);
}

QTEST_MAIN(tst_ComPorts)
#include "tst_comports.moc"
