#include "antenna_w.h"
#include "comPc.h"
#include "configuration.h"
#include "linktest.h"
#include "testsupport.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>

#include <memory>

class tst_comPc : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnAnyWarning(); }
    void cleanup() { window.reset(); }

    void statusLines_data();
    void statusLines();
    void windowLogsLinkEvents();
    void windowReleasesReporterAndLink();

private:
    void createWindow()
    {
        window = std::make_unique<Antenna_w>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    QString log() const { return child<QPlainTextEdit>(window.get(), "rxData")->toPlainText(); }
    void click(const char *button)
    {
        QTest::mouseClick(child<QRadioButton>(window.get(), button), Qt::LeftButton);
    }

    std::unique_ptr<Antenna_w> window;
};

void tst_comPc::statusLines_data()
{
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<QStringList>("expected");

    const QString trace = QStringLiteral("comPc::status_RS232");
    QTest::newRow("0 is not used")
            << QList<int>{0} << QStringList{"line: Com Data Link: not used \n", trace};
    QTest::newRow("1 is close") << QList<int>{1}
                                << QStringList{"line: Com Data Link: close \n", trace};
    QTest::newRow("2 is open") << QList<int>{2}
                               << QStringList{"line: Com Data Link: open \n", trace};
    QTest::newRow("3 gives no line") << QList<int>{3} << QStringList{trace};
    QTest::newRow("-1 gives no line") << QList<int>{-1} << QStringList{trace};
    QTest::newRow("same code twice gives two lines")
            << QList<int>{1, 1}
            << QStringList{"line: Com Data Link: close \n", trace, "line: Com Data Link: close \n",
                           trace};
}

void tst_comPc::statusLines()
{
    QFETCH(QList<int>, codes);
    QFETCH(QStringList, expected);

    TraceLog log;
    comPc reporter;
    QCOMPARE(reporter.parent(), nullptr);
    connect(&reporter, &comPc::sig_text, this,
            [&](const QString &line) { log.events << QStringLiteral("line: ") + line; });

    for (int code : codes)
        reporter.status_RS232(code);

    QCOMPARE(log.events, expected);
}

void tst_comPc::windowLogsLinkEvents()
{
    const QString open = QStringLiteral("Com Data Link: open \n");
    const QString close = QStringLiteral("Com Data Link: close \n");
    FarEnd remote;
    QVERIFY(remote.isValid());
    TraceLog traces;
    DialogCatcher dialogs;
    createWindow();
    QCOMPARE(log(), QString());

    // A failed open is logged as two closes, around its dialog.
    selectPort(window.get(), remote.missingPortName());
    click("openCom");
    QCOMPARE(dialogs.seen.size(), 1);
    QCOMPARE(log(), close + close);

    selectPort(window.get(), remote.portName());
    click("openCom");
    QCOMPARE(log(), close + close + open);
    click("closeCom");
    QCOMPARE(log(), close + close + open + close);

    // A vanished device is logged as a close.
    if (!remote.canUnplug())
        QSKIP("a built-in serial port cannot be pulled out");
    click("openCom");
    remote.unplug();
    QTRY_COMPARE(log(), close + close + open + close + open + close);
}

void tst_comPc::windowReleasesReporterAndLink()
{
    FarEnd remote;
    QVERIFY(remote.isValid());
    TraceLog traces;
    createWindow();
    const QList<comPc *> reporters = window->findChildren<comPc *>(Qt::FindDirectChildrenOnly);
    QCOMPARE(reporters.size(), 1);
    const QPointer<comPc> reporter = reporters.constFirst();
    selectPort(window.get(), remote.portName());
    checkEndReleasesLink(
            remote, [&] { click("openCom"); }, [&] { click("closeCom"); }, [&] { window.reset(); });
    QVERIFY(reporter.isNull());
}

QTEST_MAIN(tst_comPc)
#include "tst_compc.moc"
