#include "configuration.h"
#include "linktest.h"
#include "testsupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>

#include <functional>
#include <memory>

using NumberGetter = std::function<QString(Configuration &)>;
Q_DECLARE_METATYPE(NumberGetter)

class tst_Configuration : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnAnyWarning(); }
    void cleanup()
    {
        opened.reset();
        panel.reset();
    }

    void startState();
    void choosing_data();
    void choosing();
    void openAndCloseFreePort();
    void failedOpen_data();
    void failedOpen();
    void deviceLossReturnsToClosed_data();
    void deviceLossReturnsToClosed();
    void numbers_data();
    void numbers();
    void destructionReleasesOpenLink();

private:
    void createPanel();
    template<typename T>
    T *child(const char *name) const
    {
        return ::child<T>(panel.get(), name);
    }
    QList<int> results() const;

    std::unique_ptr<Configuration> panel;
    std::unique_ptr<QSignalSpy> opened;
};

void tst_Configuration::createPanel()
{
    panel = std::make_unique<Configuration>();
    opened = std::make_unique<QSignalSpy>(panel.get(), &Configuration::sig_open_Serial);
    panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel.get()));
}

QList<int> tst_Configuration::results() const
{
    QList<int> found;
    for (const QList<QVariant> &emission : *opened)
        found << emission.at(0).toInt();
    return found;
}

void tst_Configuration::startState()
{
    {
        TraceLog log;
        createPanel();
        QCOMPARE(log.events, QStringList());
    }
    auto *ports = child<QComboBox>("portName_combo");
    auto *rates = child<QComboBox>("baud_combo");
    QStringList entries;
    for (const QComboBox *list : {ports, rates}) {
        for (int i = 0; i < list->count(); ++i)
            entries << list->itemText(i);
    }
    QCOMPARE(entries,
             QStringList({"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9",
                          "COM10", "9600", "19200", "38400", "57600"}));
    QCOMPARE(ports->currentText(), QStringLiteral("COM1"));
    QCOMPARE(rates->currentText(), QStringLiteral("9600"));
    QVERIFY(ports->isEnabled());
    QVERIFY(rates->isEnabled());
    QVERIFY(child<QRadioButton>("closeCom")->isChecked());
    QVERIFY(!child<QRadioButton>("openCom")->isChecked());
    QVERIFY(child<QLineEdit>("partNumber")->text().isEmpty());
    QVERIFY(child<QLineEdit>("serialNumber")->text().isEmpty());
}

void tst_Configuration::choosing_data()
{
    QTest::addColumn<QString>("combo");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("portName");
    QTest::addColumn<int>("baud");
    QTest::addColumn<QString>("trace");

    QTest::newRow("choosing COM10 names the port")
            << "portName_combo" << 9 << "COM10" << -1 << "Port_Com::set_portName";
    QTest::newRow("choosing COM3 names the port")
            << "portName_combo" << 2 << "COM3" << -1 << "Port_Com::set_portName";
    QTest::newRow("choosing 19200 sets the rate")
            << "baud_combo" << 1 << QString() << int(BAUD19200) << "Port_Com::get_baudRate";
    QTest::newRow("choosing 57600 sets the rate")
            << "baud_combo" << 3 << QString() << int(BAUD57600) << "Port_Com::get_baudRate";
}

void tst_Configuration::choosing()
{
    QFETCH(QString, combo);
    QFETCH(int, index);
    QFETCH(QString, portName);
    QFETCH(int, baud);
    QFETCH(QString, trace);

    createPanel();
    QSignalSpy names(panel.get(), &Configuration::sig_portName_Changed);
    QSignalSpy rates(panel.get(), &Configuration::sig_baud_Changed);
    TraceLog log;

    child<QComboBox>(combo.toLatin1().constData())->setCurrentIndex(index);

    QCOMPARE(log.events, QStringList{trace});
    QCOMPARE(names.size(), portName.isNull() ? 0 : 1);
    QCOMPARE(rates.size(), baud < 0 ? 0 : 1);
    if (!portName.isNull())
        QCOMPARE(names.at(0).at(0).toString(), portName);
    if (baud >= 0)
        QCOMPARE(int(rates.at(0).at(0).value<BaudRateType>()), baud);
    QVERIFY(results().isEmpty());
}

void tst_Configuration::openAndCloseFreePort()
{
    FarEnd remote;
    QVERIFY(remote.isValid());
    createPanel();
    selectPort(panel.get(), remote.portName());
    child<QComboBox>("baud_combo")->setCurrentIndex(2);
    auto *open = child<QRadioButton>("openCom");
    auto *close = child<QRadioButton>("closeCom");
    auto *ports = child<QComboBox>("portName_combo");
    auto *rates = child<QComboBox>("baud_combo");
    TraceLog log;
    DialogCatcher dialogs;

    // The checked button does nothing.
    QTest::mouseClick(close, Qt::LeftButton);
    QCOMPARE(results(), QList<int>());

    QTest::mouseClick(open, Qt::LeftButton);
    QCOMPARE(results(), QList<int>{2});
    QVERIFY(open->isChecked());
    QVERIFY(!ports->isEnabled());
    QVERIFY(!rates->isEnabled());
    QVERIFY(remote.isHeld());
    QTRY_COMPARE(remote.settings().rate, qint64(38400));

    QTest::mouseClick(close, Qt::LeftButton);
    QCOMPARE(results(), QList<int>({2, 1}));
    QVERIFY(close->isChecked());
    QVERIFY(ports->isEnabled());
    QVERIFY(rates->isEnabled());
    QTRY_VERIFY(!remote.isHeld());
    QCOMPARE(remote.received(), 0);

    QCOMPARE(log.events, QStringList{"Port_Com::open_Serial"});
    QCOMPARE(dialogs.seen.size(), 0);
}

void tst_Configuration::failedOpen_data()
{
    QTest::addColumn<bool>("inUse");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");

    QTest::newRow("open on missing device fails") << false << QString() << "does not exist";
    QTest::newRow("open on device in use by another program fails")
            << true << QString() << "in use by another program";
#ifdef Q_OS_UNIX
    QTest::newRow("open on COM99, a built-in port this computer lacks, fails")
            << false << "COM99"
            << "no built-in serial port /dev/ttyS98";
#endif
}

void tst_Configuration::failedOpen()
{
    QFETCH(bool, inUse);
    QFETCH(QString, name);
    QFETCH(QString, reason);

    FarEnd remote;
    QVERIFY(remote.isValid());
    QSerialPort otherProgram(remote.location());
    if (inUse)
        QVERIFY(otherProgram.open(QIODevice::ReadWrite));
    const QString path = !name.isEmpty() ? name
            : inUse                      ? remote.portName()
                                         : remote.missingPortName();
    createPanel();
    selectPort(panel.get(), path);
    auto *open = child<QRadioButton>("openCom");
    auto *close = child<QRadioButton>("closeCom");

    TraceLog log;
    DialogCatcher dialogs(&log.events, [&](const QMessageBox &dialog) {
        QCOMPARE(dialog.windowTitle(), QStringLiteral("ERROR COMMUNICATION DATA LINK"));
        QCOMPARE(dialog.icon(), QMessageBox::Critical);
        QCOMPARE(dialog.standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(dialog.buttons().size(), 1);
        QVERIFY(!dialog.defaultButton());
        QCOMPARE(dialog.parentWidget(), panel.get());
        QVERIFY(dialog.isModal());
        const QString why = dialog.informativeText();
        const auto *reasonLabel = dialog.findChild<QLabel *>("qt_msgbox_informativelabel");
        QVERIFY(reasonLabel && reasonLabel->textFormat() == Qt::PlainText);
        QVERIFY2(explainsFailedOpen(why, inUse ? remote.location() : path, reason),
                 qPrintable(why));
#ifdef Q_OS_WIN
        // COM12 is listed; without USB ids it gets no renumbering hint.
        QVERIFY2(why.contains(QLatin1String("\nCOM12"))
                         && !why.contains(QLatin1String("Device Manager")),
                 qPrintable(why));
#endif
    });
    connect(panel.get(), &Configuration::sig_open_Serial, this, [&](int result) {
        log.events << QStringLiteral("sig_open_Serial(%1)%2")
                              .arg(result)
                              .arg(close->isChecked() ? "" : " while OPEN checked");
    });

    QTest::mouseClick(open, Qt::LeftButton);

    QCOMPARE(log.events,
             QStringList({"Port_Com::open_Serial", "sig_open_Serial(1)",
                          "dialog: Port com not opened", "sig_open_Serial(1)"}));
    QCOMPARE(dialogs.seen.size(), 1);

    QVERIFY(close->isChecked());
    QVERIFY(!open->isChecked());
    QVERIFY(child<QComboBox>("portName_combo")->isEnabled());
    QVERIFY(child<QComboBox>("baud_combo")->isEnabled());
    QCOMPARE(remote.isHeld(), inUse);
}

void tst_Configuration::deviceLossReturnsToClosed_data()
{
    QTest::addColumn<bool>("talkedFirst");

    QTest::newRow("device lost on a quiet line") << false;
    QTest::newRow("device lost after the unit talked") << true;
}

void tst_Configuration::deviceLossReturnsToClosed()
{
    QFETCH(bool, talkedFirst);

    FarEnd remote;
    QVERIFY(remote.isValid());
    if (!remote.canUnplug())
        QSKIP("a built-in serial port cannot be pulled out");
    createPanel();
    selectPort(panel.get(), remote.portName());
    auto *open = child<QRadioButton>("openCom");
    auto *close = child<QRadioButton>("closeCom");
    DialogCatcher dialogs;
    QTest::mouseClick(open, Qt::LeftButton);
    QCOMPARE(results(), QList<int>{2});
    if (talkedFirst) {
        remote.talk();
        QTRY_VERIFY(remote.sent() > 64 * 1024);
        remote.quiet();
    }

    QElapsedTimer clock;
    clock.start();
    remote.unplug();

    QTRY_VERIFY_WITH_TIMEOUT(close->isChecked(), 10000);
    qInfo("device loss noticed after %lld ms", clock.elapsed());
    QCOMPARE(results(), QList<int>({2, 1}));
    QVERIFY(child<QComboBox>("portName_combo")->isEnabled());
    QVERIFY(child<QComboBox>("baud_combo")->isEnabled());
    QTRY_VERIFY(!remote.isHeld());
    QCoreApplication::processEvents();
    QCOMPARE(results(), QList<int>({2, 1}));
    QCOMPARE(dialogs.seen.size(), 0);

    // The device back under its name opens again.
    QTest::mouseClick(open, Qt::LeftButton);
    QTest::mouseClick(close, Qt::LeftButton);
    QCOMPARE(results(), QList<int>({2, 1, 2, 1}));
}

void tst_Configuration::numbers_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<NumberGetter>("get");
    QTest::addColumn<QString>("getterTrace");

    QTest::newRow("part number follows its field")
            << "partNumber" << NumberGetter([](Configuration &c) { return c.set_partNumber(); })
            << "Configuration::set_partNumber";
    QTest::newRow("serial number follows its field")
            << "serialNumber" << NumberGetter([](Configuration &c) { return c.set_serialNumber(); })
            << "Configuration::set_serialNumber";
}

void tst_Configuration::numbers()
{
    QFETCH(QString, field);
    QFETCH(NumberGetter, get);
    QFETCH(QString, getterTrace);

    createPanel();
    auto *edit = child<QLineEdit>(field.toLatin1().constData());
    const QString changed = QStringLiteral("Configuration::on_%1_textChanged").arg(field);
    TraceLog log;

    QTest::keyClicks(edit, QStringLiteral("AB 12"));
    QCOMPARE(log.events, QStringList(5, changed));
    QCOMPARE(get(*panel), QStringLiteral("AB 12"));
    QCOMPARE(log.events.constLast(), getterTrace);

    log.events.clear();
    edit->clear();
    QCOMPARE(get(*panel), QString());
    QCOMPARE(log.events, QStringList({changed, getterTrace}));
}

void tst_Configuration::destructionReleasesOpenLink()
{
    FarEnd remote;
    QVERIFY(remote.isValid());
    createPanel();
    selectPort(panel.get(), remote.portName());
    checkEndReleasesLink(
            remote, [&] { QTest::mouseClick(child<QRadioButton>("openCom"), Qt::LeftButton); },
            [&] { QTest::mouseClick(child<QRadioButton>("closeCom"), Qt::LeftButton); },
            [&] {
                QCOMPARE(results(), QList<int>({2, 1, 2}));
                opened.reset();
                panel.reset();
            });
}

QTEST_MAIN(tst_Configuration)
#include "tst_configuration.moc"
