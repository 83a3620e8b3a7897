#include "antenna_w.h"
#include "paintedpixels.h"
#include "panels.h"
#include "testsupport.h"
#include "titlecolour.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFocusFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>

#include <memory>

class tst_Antenna_w : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { window.reset(); }

    void startState();
    void panelActions_data();
    void panelActions();
    void helpActionsChangeNothing();
    void log_data();
    void log();
    void tabLeavesLog();
    void menusAndToolBar();
    void toolTips_data();
    void toolTips();
    void iconsFromAnyFolder_data();
    void iconsFromAnyFolder();
    void titleReadsOnEveryPalette_data();
    void titleReadsOnEveryPalette();
    void panelsNamedAfterFields();
    void enlargingKeepsAreasInPlace();
    void endingEndsEventLoopWithZero_data();
    void endingEndsEventLoopWithZero();

private:
    QAction *action(const char *name) const { return child<QAction>(window.get(), name); }
    QStringList visiblePanels() const;
    QString title() const { return child<QLabel>(window.get(), "title")->text(); }
    QString logText() const { return child<QPlainTextEdit>(window.get(), "rxData")->toPlainText(); }
    void appendLog(const QString &text)
    {
        QVERIFY(QMetaObject::invokeMethod(window.get(), "set_Text", Q_ARG(QString, text)));
    }

    std::unique_ptr<Antenna_w> window;
};

void tst_Antenna_w::init()
{
    failOnAnyWarning();
    window = std::make_unique<Antenna_w>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

QStringList tst_Antenna_w::visiblePanels() const
{
    QStringList visible;
    for (const PanelInfo &info : panelInfo) {
        auto *panel = window->findChild<QWidget *>(QLatin1String(info.panel));
        if (panel && panel->isVisible())
            visible << QLatin1String(info.panel);
    }
    return visible;
}

void tst_Antenna_w::startState()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("Norvex"));
    QCOMPARE(window->size(), QSize(800, 600));
    QCOMPARE(visiblePanels(), QStringList{"config_"});
    QCOMPARE(title(), QStringLiteral("Antenna configuration"));
    QVERIFY(logText().isEmpty());

    // init_Antenna puts any state back to the start state.
    action("actionSwitching")->trigger();
    window->init_Antenna();
    QCOMPARE(visiblePanels(), QStringList{"config_"});
    QCOMPARE(title(), QStringLiteral("Antenna configuration"));
}

void tst_Antenna_w::panelActions_data()
{
    QTest::addColumn<QString>("actionName");
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QString>("expectedTitle");

    for (const PanelInfo &info : panelInfo) {
        QTest::addRow("%s shows its panel", info.text)
                << QString(info.action) << QString(info.panel) << QString(info.title);
    }
}

void tst_Antenna_w::panelActions()
{
    QFETCH(QString, actionName);
    QFETCH(QString, panel);
    QFETCH(QString, expectedTitle);

    // Start from a different panel so that the action really has to switch.
    action(actionName == "actionCoverage" ? "actionSwitching" : "actionCoverage")->trigger();

    QAction *a = action(actionName.toLatin1().constData());
    a->trigger();
    QCOMPARE(visiblePanels(), QStringList{panel});
    QCOMPARE(title(), expectedTitle);

    // The visible panel gets the whole panel area once the layout has run.
    auto *shown = window->findChild<QWidget *>(panel);
    const QRect placed(0, 0, 531, 509);
    QTRY_COMPARE(shown->geometry(), placed);

    a->trigger();
    QCOMPARE(visiblePanels(), QStringList{panel});
    QCOMPARE(title(), expectedTitle);
    QCoreApplication::processEvents();
    QCOMPARE(shown->geometry(), placed);
}

void tst_Antenna_w::helpActionsChangeNothing()
{
    action("actionMeasurement")->trigger();
    appendLog(QStringLiteral("line\n"));

    action("actionAbout_Norvex")->trigger();
    action("actionDocumentation")->trigger();

    QCOMPARE(visiblePanels(), QStringList{"meas_"});
    QCOMPARE(title(), QStringLiteral("Antenna measurement"));
    QCOMPARE(logText(), QStringLiteral("line\n"));
    QVERIFY(window->isVisible());
    QVERIFY(!QApplication::activeModalWidget());
}

void tst_Antenna_w::log_data()
{
    QTest::addColumn<QStringList>("appends");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("clearAtEnd");
    QTest::addColumn<QString>("expected");

    QTest::newRow("appends join without separator")
            << QStringList{"Com Data Link: open \n", "Com Data Link: close \n"} << QString()
            << false << "Com Data Link: open \nCom Data Link: close \n";
    QTest::newRow("empty append keeps text")
            << QStringList{"a\n", ""} << QString() << false << "a\n";
    QTest::newRow("clear on empty log") << QStringList() << QString() << true << QString();
    QTest::newRow("clear after appends")
            << QStringList{"a\n", "b\n"} << QString() << true << QString();
    QTest::newRow("typed text dropped by next append")
            << QStringList{"a\n", "b\n"} << "typed by the operator" << false << "a\nb\n";
    QTest::newRow("typed text dropped by clear")
            << QStringList{"a\n"} << "typed by the operator" << true << QString();
}

void tst_Antenna_w::log()
{
    QFETCH(QStringList, appends);
    QFETCH(QString, typed);
    QFETCH(bool, clearAtEnd);
    QFETCH(QString, expected);

    auto *rxData = window->findChild<QPlainTextEdit *>(QStringLiteral("rxData"));
    QVERIFY(!rxData->isReadOnly());

    for (int i = 0; i < appends.size(); ++i) {
        // The operator types into the log before the last append.
        if (!typed.isEmpty() && i == appends.size() - 1) {
            rxData->setFocus();
            rxData->moveCursor(QTextCursor::End);
            QTest::keyClicks(rxData, typed);
            QVERIFY(logText().endsWith(typed));
        }
        appendLog(appends.at(i));
    }
    if (clearAtEnd) {
        if (!typed.isEmpty())
            QTest::keyClicks(rxData, typed);
        action("actionClear")->trigger();
    }
    QCOMPARE(logText(), expected);
}

// Tab and Shift+Tab leave the log, which still takes typed text, is named for
// screen readers and is ringed while it has focus; focus then cycles back
// to it.
void tst_Antenna_w::tabLeavesLog()
{
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    auto *rxData = window->findChild<QPlainTextEdit *>(QStringLiteral("rxData"));
    auto *ring = window->findChild<QFocusFrame *>();
    QVERIFY(ring);
    QCOMPARE(QAccessible::queryAccessibleInterface(rxData)->text(QAccessible::Name),
             QStringLiteral("Message log"));
    QVERIFY(QApplication::focusWidget() != rxData);
    QVERIFY(!ring->isVisible());

    for (const Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab}) {
        rxData->setFocus();
        QTRY_VERIFY(ring->isVisible());
        QTest::keyClicks(rxData, QStringLiteral("typed"));
        QTest::keyClick(rxData, key);
        QVERIFY(QApplication::focusWidget() != rxData);
        QVERIFY(!ring->isVisible());
        QCOMPARE(logText(), QStringLiteral("typed"));
        rxData->clear();
    }

    // The log closes the window's Tab cycle: the panel's first control comes
    // next, and Shift+Tab from that control comes back.
    rxData->setFocus();
    QTest::keyClick(rxData, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("portName_combo"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), rxData);
    QVERIFY(logText().isEmpty());
}

void tst_Antenna_w::menusAndToolBar()
{
    auto titlesOf = [](const QList<QAction *> &actions) {
        QStringList texts;
        for (QAction *a : actions)
            texts << a->text();
        return texts;
    };
    auto *menuBar = window->findChild<QMenuBar *>(QStringLiteral("menuBar"));
    QCOMPARE(window->menuBar(), menuBar);
    QCOMPARE(titlesOf(menuBar->actions()), (QStringList{"Help", "File"}));
    QCOMPARE(titlesOf(window->findChild<QMenu *>(QStringLiteral("menuHelp"))->actions()),
             (QStringList{"About Norvex", "Documentation"}));
    QCOMPARE(titlesOf(window->findChild<QMenu *>(QStringLiteral("menuFile"))->actions()),
             QStringList{"Clear"});

    auto *toolBar = window->findChild<QToolBar *>(QStringLiteral("toolBar"));
    QCOMPARE(window->toolBarArea(toolBar), Qt::LeftToolBarArea);
    QCOMPARE(toolBar->orientation(), Qt::Vertical);
    QCOMPARE(toolBar->iconSize(), QSize(48, 48));
    QCOMPARE(toolBar->windowTitle(), QStringLiteral("toolBar"));
    QCOMPARE(titlesOf(toolBar->actions()),
             (QStringList{"Data Link", "Test system", "Factory settings", "Measurement",
                          "Switching", "Coverage", "Exit"}));

    // The menu-only actions carry no icon.
    for (const char *name : {"actionAbout_Norvex", "actionDocumentation", "actionClear"})
        QVERIFY(action(name)->icon().isNull());

    // Buttons stand top to bottom in that order.
    int lastY = -1;
    for (QAction *a : toolBar->actions()) {
        QWidget *button = toolBar->widgetForAction(a);
        QVERIFY(button);
        QVERIFY(button->isVisible());
        QVERIFY2(button->y() > lastY, qPrintable(a->text()));
        lastY = button->y();
    }
}

void tst_Antenna_w::toolTips_data()
{
    QTest::addColumn<QString>("actionName");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("data link plain") << "actionConfig" << QStringList{"Communication data link"};
    QTest::newRow("exit plain") << "actionExit" << QStringList{"Quit application"};
    QTest::newRow("coverage falls back to text") << "actionCoverage" << QStringList{"Coverage"};
    QTest::newRow("test system rich")
            << "actionTest_System"
            << QStringList{"Test system",
                           "Allows to test quickly the antenna:", " - General informations",
                           " - General status", " - Detailled status"};
    QTest::newRow("measurement rich")
            << "actionMeasurement"
            << QStringList{"Antenna measurement",
                           "Allows the testing of the antenna on fixed frequency or frequency "
                           "band: ",
                           " - Frequency measurement", " - Scan VSWR"};
    QTest::newRow("factory settings rich")
            << "actionFactory_settings"
            << QStringList{"Factory settings", "Allows to:", " - Extract linearisation",
                           " - Read and write parameters", " - Erase memory poste"};
    QTest::newRow("switching rich")
            << "actionSwitching"
            << QStringList{"Switching mode",          "Allows to switch manually all relays:",
                           " - Capacitors switching", " - Antenna control",
                           " - Antenna mode",         " - CU control"};
}

void tst_Antenna_w::toolTips()
{
    QFETCH(QString, actionName);
    QFETCH(QStringList, lines);

    QAction *a = action(actionName.toLatin1().constData());
    const QString tip = a->toolTip();
    // Screen readers get the tip's plain text as the button's description.
    QWidget *button = window->findChild<QToolBar *>(QStringLiteral("toolBar"))->widgetForAction(a);
    QCOMPARE(QAccessible::queryAccessibleInterface(button)->text(QAccessible::Description),
             lines.join(QLatin1Char('\n')));
    if (lines.size() == 1) {
        QCOMPARE(tip, lines.first());
        return;
    }
    QVERIFY(tip.startsWith(QStringLiteral("<!DOCTYPE HTML PUBLIC")));
    QVERIFY(tip.contains(QStringLiteral("<meta name=\"qrichtext\" content=\"1\" />")));
    QTextDocument document;
    document.setHtml(tip);
    QCOMPARE(document.toPlainText().split(QChar('\n')), lines);

    // The heading is bold and underlined, the other lines plain.
    const QTextBlock heading = document.firstBlock();
    const QTextCharFormat format = heading.begin().fragment().charFormat();
    QCOMPARE(format.fontWeight(), 600);
    QVERIFY(format.fontUnderline());
    const QTextCharFormat plain = heading.next().begin().fragment().charFormat();
    QVERIFY(!plain.fontUnderline());
}

void tst_Antenna_w::iconsFromAnyFolder_data()
{
    QTest::addColumn<bool>("operatorIcons");

    QTest::newRow("empty folder") << false;
    QTest::newRow("folder with the operator's icons") << true;
}

// The tool bar's icons lie beside the program. Started in a folder without
// them, the window still shows them, from the program's folder, and writes no
// warning; icon files of the same names in the working directory are still
// the ones shown (here red squares).
void tst_Antenna_w::iconsFromAnyFolder()
{
    QFETCH(bool, operatorIcons);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QStringList icons = QDir(QCoreApplication::applicationDirPath())
                                      .entryList({QStringLiteral("*.svg")}, QDir::Files);
    QStringList expected{QStringLiteral("close_cross.svg")};
    for (const PanelInfo &info : panelInfo)
        expected << QLatin1String(info.icon);
    expected.sort(Qt::CaseInsensitive);
    QCOMPARE(icons, expected);
    for (const QString &icon : operatorIcons ? icons : QStringList()) {
        QFile file(folder.filePath(icon));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"(<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48">)"
                   R"(<rect width="48" height="48" fill="#ff0000"/></svg>)");
    }

    const QString testFolder = QDir::currentPath();
    QVERIFY(QDir::setCurrent(folder.path()));
    Antenna_w other;
    const QString folderAfter = QDir::currentPath();
    QVERIFY(QDir::setCurrent(testFolder));
    QCOMPARE(folderAfter, QDir(folder.path()).canonicalPath());

    const QList<QAction *> actions = other.findChild<QToolBar *>()->actions();
    QCOMPARE(actions.size(), 7);
    for (const QAction *a : actions) {
        QVERIFY2(paintedPixels(a->icon()) > 48, qPrintable(a->objectName()));
        const QRgb centre = a->icon().pixmap(QSize(48, 48)).toImage().pixel(24, 24);
        QCOMPARE(centre == qRgb(255, 0, 0), operatorIcons);
    }
}

void tst_Antenna_w::titleReadsOnEveryPalette_data()
{
    QTest::addColumn<QPalette>("palette");
    QTest::addColumn<QColor>("expected");

    QTest::newRow("light keeps the blue") << QApplication::palette() << QColor(Qt::blue);

    QPalette dark(QColor(53, 53, 53));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Link, QColor(48, 140, 198));
    QTest::newRow("dark with a dim link takes the window text") << dark << QColor(Qt::white);

    QPalette contrast(Qt::black);
    contrast.setColor(QPalette::WindowText, Qt::white);
    contrast.setColor(QPalette::Link, Qt::yellow);
    QTest::newRow("high contrast takes the link") << contrast << QColor(Qt::yellow);

    QPalette white(Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    white.setColor(QPalette::Link, QColor(26, 13, 171));
    QTest::newRow("high contrast white keeps the blue") << white << QColor(Qt::blue);
}

// The title reads at 4.5:1 or better on the window behind it, whichever
// palette the desktop chooses, also when it changes while the program runs.
void tst_Antenna_w::titleReadsOnEveryPalette()
{
    QFETCH(QPalette, palette);
    QFETCH(QColor, expected);

    const QPalette before = QApplication::palette();
    QApplication::setPalette(palette);
    auto *label = window->findChild<QLabel *>(QStringLiteral("title"));
    QTRY_COMPARE(label->parentWidget()->palette().color(QPalette::Window),
                 palette.color(QPalette::Window));
    const QColor text = label->palette().color(QPalette::Active, QPalette::WindowText);
    QCOMPARE(text, expected);
    QVERIFY2(contrastRatio(text, palette.color(QPalette::Window)) >= 4.5, qPrintable(text.name()));

    QApplication::setPalette(before);
    QTRY_COMPARE(label->parentWidget()->palette().color(QPalette::Window),
                 before.color(QPalette::Window));
    QCOMPARE(label->palette().color(QPalette::Active, QPalette::WindowText), QColor(Qt::blue));
}

void tst_Antenna_w::panelsNamedAfterFields()
{
    auto *area = window->findChild<QWidget *>(QStringLiteral("horizontalLayoutWidget_2"));
    QVERIFY(area);
    auto *layout = qobject_cast<QHBoxLayout *>(area->layout());
    QVERIFY(layout);
    QCOMPARE(layout->objectName(), QStringLiteral("horizontalLayout_2"));
    QCOMPARE(layout->count(), 6);

    for (int i = 0; i < 6; ++i) {
        QWidget *panel = layout->itemAt(i)->widget();
        QVERIFY(panel);
        QCOMPARE(panel->objectName(), QLatin1String(panelInfo[i].panel));
        QCOMPARE(panel->metaObject()->className(), panelInfo[i].className);
        QCOMPARE(panel->parentWidget(), area);
        QCOMPARE(panel->windowTitle(), QStringLiteral("Form"));
    }
}

void tst_Antenna_w::enlargingKeepsAreasInPlace()
{
    const char *const areas[] = {"frame_2", "frame", "rxData", "horizontalLayoutWidget_2"};
    QList<QRect> before;
    for (const char *name : areas)
        before << window->findChild<QWidget *>(QLatin1String(name))->geometry();
    QCOMPARE(before.at(0), QRect(0, 0, 741, 41));
    QCOMPARE(before.at(1), QRect(540, 50, 191, 509));
    QCOMPARE(before.at(3), QRect(0, 50, 531, 509));

    window->resize(1200, 900);
    QTRY_COMPARE(window->size(), QSize(1200, 900));
    for (int i = 0; i < 4; ++i)
        QCOMPARE(window->findChild<QWidget *>(QLatin1String(areas[i]))->geometry(), before.at(i));
}

void tst_Antenna_w::endingEndsEventLoopWithZero_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("tool bar action Exit") << 0;
    QTest::newRow("Ctrl+Q") << 1;
    QTest::newRow("closing the window") << 2;
}

void tst_Antenna_w::endingEndsEventLoopWithZero()
{
    QFETCH(int, how);

    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
    QTimer::singleShot(0, window.get(), [this, how] {
        if (how == 0)
            action("actionExit")->trigger();
        else if (how == 1)
            QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
        else
            window->close();
    });
    QCOMPARE(QApplication::exec(), 0);
    QCOMPARE(quitting.count(), 1);
}

QTEST_MAIN(tst_Antenna_w)
#include "tst_antenna_w.moc"
