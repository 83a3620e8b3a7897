// The antenna test panels as the operator meets them: inside the main
// window, reached through the tool bar, clicked with the mouse.
#include "antenna_w.h"
#include "panels.h"
#include "panelstate.h"
#include "testsupport.h"
#include "ui_coverage.h"
#include "ui_measurement.h"
#include "ui_memory.h"
#include "ui_switching.h"
#include "ui_systeme.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QRadioButton>
#include <QTest>
#include <QWindow>

#include <functional>
#include <map>
#include <memory>

class tst_PanelsInWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { window.reset(); }

    void clicks_data();
    void clicks();
    void overlapBelongsToPass();
    void stateSurvivesSwitching_data();
    void stateSurvivesSwitching();
    void keyboard_data();
    void keyboard();
    void accessibleNames_data();
    void accessibleNames();

private:
    QWidget *showPanel(const QString &actionName, const QString &panelName);
    void clickAt(const QWidget *widget, QPoint pos);
    void click(const QWidget *widget) { clickAt(widget, widget->rect().center()); }

    std::unique_ptr<Antenna_w> window;
};

void tst_PanelsInWindow::init()
{
    failOnAnyWarning();
    window = std::make_unique<Antenna_w>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

// Triggers the tool bar action and waits until the panel fills its area.
QWidget *tst_PanelsInWindow::showPanel(const QString &actionName, const QString &panelName)
{
    child<QAction>(window.get(), actionName)->trigger();
    QWidget *panel = child(window.get(), panelName);
    if (!QTest::qWaitFor([panel] {
            return panel->isVisible() && panel->geometry() == panel->parentWidget()->rect();
        }))
        qFatal("panel %s not shown", qPrintable(panelName));
    return panel;
}

// Clicks the window where the widget is shown, so the click goes to whatever
// lies on top there, as it would for the operator.
void tst_PanelsInWindow::clickAt(const QWidget *widget, QPoint pos)
{
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, widget->mapTo(window.get(), pos));
}

void tst_PanelsInWindow::clicks_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QStringList>("checked");

    const QString system = QStringLiteral("actionTest_System");
    QTest::newRow("faild unchecks pass of its group")
            << system << "system_" << QStringList{"ind_AlimPass", "ind_AlimFaild"}
            << QStringList{"ind_AlimFaild"};
    QTest::newRow("the nine pairs are independent")
            << system << "system_"
            << QStringList{"ind_StatusPass", "ind_AlimFaild", "ind_CapaPass", "ind_SpareFaild"}
            << QStringList{"ind_AlimFaild", "ind_CapaPass", "ind_SpareFaild", "ind_StatusPass"};
    QTest::newRow("a checked indicator stays checked")
            << system << "system_" << QStringList{"ind_TempPass", "ind_TempPass"}
            << QStringList{"ind_TempPass"};
    QTest::newRow("test system push buttons change nothing")
            << system << "system_" << QStringList{"softRef_Request", "genStatus", "detStatus"}
            << QStringList();

    const QString measurement = QStringLiteral("actionMeasurement");
    QTest::newRow("measurement check boxes are independent")
            << measurement << "meas_" << QStringList{"ind_Canal", "ind_Tune_Link"}
            << QStringList{"ind_Canal", "ind_Tune_Link"};
    QTest::newRow("a check box unticks")
            << measurement << "meas_" << QStringList{"ind_Canal", "ind_Canal"} << QStringList();
    QTest::newRow("measurement push buttons change nothing")
            << measurement << "meas_" << QStringList{"tune", "vswr", "start"} << QStringList();

    QTest::newRow("factory settings push buttons change nothing")
            << "actionFactory_settings"
            << "mem_" << QStringList{"read_Param", "write_Param", "eraseMemPoste", "extract_Lin"}
            << QStringList();

    const QString switching = QStringLiteral("actionSwitching");
    const QStringList start{"ampliOff", "ext0", "ixit0", "modeRx", "sleepSynthe"};
    QTest::newRow("EXT 2 unchecks EXT OFF only")
            << switching << "switch_" << QStringList{"ext2"}
            << QStringList{"ampliOff", "ext2", "ixit0", "modeRx", "sleepSynthe"};
    QTest::newRow("IXIT 3 unchecks IXIT OFF only")
            << switching << "switch_" << QStringList{"ixit3"}
            << QStringList{"ampliOff", "ext0", "ixit3", "modeRx", "sleepSynthe"};
    QTest::newRow("TUNE unchecks RECEPTION only")
            << switching << "switch_" << QStringList{"modeTune"}
            << QStringList{"ampliOff", "ext0", "ixit0", "modeTune", "sleepSynthe"};
    QTest::newRow("capacitors are independent")
            << switching << "switch_" << QStringList{"capa00", "capa07", "capa13"}
            << QStringList(start) + QStringList{"capa00", "capa07", "capa13"};
    QTest::newRow("ALL OFF and ALL ON change no capacitor")
            << switching << "switch_" << QStringList{"capa03", "recovAllOff", "recovAllOn"}
            << QStringList(start) + QStringList{"capa03"};
    QTest::newRow("CU control ignores clicks")
            << switching << "switch_" << QStringList{"ampliOn", "runSynthe", "groupBox_41"}
            << start;

    QTest::newRow("coverage START changes nothing")
            << "actionCoverage"
            << "cover_" << QStringList{"start_Cover"} << QStringList();
}

void tst_PanelsInWindow::clicks()
{
    QFETCH(QString, action);
    QFETCH(QString, panel);
    QFETCH(QStringList, clicks);
    QFETCH(QStringList, checked);

    QWidget *shown = showPanel(action, panel);
    const QStringList fields = fieldContents(shown);
    for (const QString &name : clicks)
        click(child(shown, name));

    checked.sort();
    QCOMPARE(checkedButtons(shown), checked);
    QCOMPARE(fieldContents(shown), fields);
}

// Faild and Pass of a detailed-status group share one pixel column; Pass,
// made later, lies on top there.
void tst_PanelsInWindow::overlapBelongsToPass()
{
    QWidget *panel = showPanel(QStringLiteral("actionTest_System"), QStringLiteral("system_"));
    for (int group = 31; group <= 38; ++group) {
        const QWidget *box = child(panel, QStringLiteral("groupBox_%1").arg(group));
        const QWidget *top = box->childAt(170, 18);
        QVERIFY(top);
        QVERIFY2(top->objectName().endsWith(QLatin1String("Pass")), qPrintable(top->objectName()));
    }

    clickAt(child(panel, QStringLiteral("groupBox_31")), QPoint(170, 18));
    QCOMPARE(checkedButtons(panel), QStringList{"ind_AlimPass"});
}

// A row for each panel, the Data Link's (the first) if asked for.
static void addPanelRows(bool dataLink)
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("panel");
    for (const PanelInfo &info : panelInfo) {
        if (dataLink || &info != panelInfo)
            QTest::newRow(info.text) << QString(info.action) << QString(info.panel);
    }
}

void tst_PanelsInWindow::stateSurvivesSwitching_data()
{
    addPanelRows(false);
}

// The texts that a panel's form gives a bare widget.
static QStringList formTexts(const QString &panel)
{
    QWidget form;
    const std::map<QString, std::function<void(QWidget *)>> setUp{{"cover_",
                                                                   [](QWidget *w) {
                                                                       Ui::Coverage().setupUi(w);
                                                                   }},
                                                                  {"meas_",
                                                                   [](QWidget *w) {
                                                                       Ui::Measurement().setupUi(w);
                                                                   }},
                                                                  {"mem_",
                                                                   [](QWidget *w) {
                                                                       Ui::Memory().setupUi(w);
                                                                   }},
                                                                  {"switch_",
                                                                   [](QWidget *w) {
                                                                       Ui::Switching().setupUi(w);
                                                                   }},
                                                                  {"system_", [](QWidget *w) {
                                                                       Ui::Systeme().setupUi(w);
                                                                   }}};
    setUp.at(panel)(&form);
    return textsOf(&form);
}

// Each panel shows its form's texts, trailing blanks included, and keeps
// what the operator changed while another panel is shown.
void tst_PanelsInWindow::stateSurvivesSwitching()
{
    QFETCH(QString, action);
    QFETCH(QString, panel);

    QWidget *shown = showPanel(action, panel);
    QCOMPARE(textsOf(shown), formTexts(panel));
    const QStringList startChecked = checkedButtons(shown);
    const QStringList startFields = fieldContents(shown);

    // Any text goes, numbers out of range and letters alike.
    for (QLineEdit *edit : shown->findChildren<QLineEdit *>())
        QTest::keyClicks(edit, edit->objectName() + QStringLiteral(" 99999 Hz"));
    bool clicked = false;
    for (const QAbstractButton *button : shown->findChildren<QAbstractButton *>()) {
        if (button->isCheckable() && button->isEnabled() && !button->isChecked()) {
            click(button);
            clicked = true;
        }
    }
    const QStringList checked = checkedButtons(shown);
    const QStringList fields = fieldContents(shown);
    QCOMPARE(fields != startFields, !shown->findChildren<QLineEdit *>().isEmpty());
    QCOMPARE(checked != startChecked, clicked);

    showPanel(QStringLiteral("actionConfig"), QStringLiteral("config_"));
    QVERIFY(!shown->isVisible());
    showPanel(action, panel);

    QCOMPARE(checkedButtons(shown), checked);
    QCOMPARE(fieldContents(shown), fields);
}

// A control the operator can reach in the panel: it takes Tab and shows (a
// combo box's list, which some Qt versions build before it first opens,
// does not).
static bool reachable(const QWidget *control, const QWidget *panel)
{
    return (control->focusPolicy() & Qt::TabFocus) && control->isVisibleTo(panel);
}

void tst_PanelsInWindow::keyboard_data()
{
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QStringList>("tabOrder");

    // Reading order: top to bottom, column by column in two-column groups.
    // Tab stops once in each set of exclusive radio buttons, at its first;
    // the arrows move within it.
    QTest::newRow("Ctrl+1 data link")
            << Qt::Key_1 << "config_"
            << QStringList{"portName_combo", "baud_combo", "openCom", "partNumber", "serialNumber"};
    QTest::newRow("Ctrl+2 test system")
            << Qt::Key_2 << "system_"
            << QStringList{"softRef_Request", "softRefVal",    "genStatus",       "ind_StatusFaild",
                           "detStatus",       "ind_AlimFaild", "ind_SyntheFaild", "ind_TempFaild",
                           "ind_CalFaild",    "ind_LinFaild",  "ind_CapaFaild",   "ind_RelayFaild",
                           "ind_SpareFaild",  "ind_nb_Mst"};
    QTest::newRow("Ctrl+3 factory settings")
            << Qt::Key_3 << "mem_"
            << QStringList{"read_Param",        "write_Param", "eraseMemPoste", "nbOfMst",
                           "softwareReference", "toSMin",      "nbRelays",      "nbBitForce",
                           "nbMaxRelays",       "freqMinLin",  "freqMaxLin",    "extract_Lin"};
    QTest::newRow("Ctrl+4 measurement")
            << Qt::Key_4 << "meas_"
            << QStringList{"freqTune", "ind_Canal",     "channel",    "tune",     "tuneResult",
                           "vswr",     "vswrVal",       "freqStart",  "freqStop", "stepFreq",
                           "start",    "ind_Tune_Link", "vswrMinVal", "freqVal"};
    QStringList switching;
    for (int i = 0; i < 14; ++i)
        switching << QStringLiteral("capa%1").arg(i, 2, 10, QLatin1Char('0'));
    switching << QStringList{"recovAllOff", "recovAllOn", "ext0", "ixit0", "modeRx"};
    QTest::newRow("Ctrl+5 switching") << Qt::Key_5 << "switch_" << switching;
    QTest::newRow("Ctrl+6 coverage")
            << Qt::Key_6 << "cover_"
            << QStringList{"freqStartCover", "freqStopCover", "stepFreqCover", "start_Cover"};
}

// The panel's shortcut shows it with focus on its first control; Tab then
// walks its controls in reading order, on to the log and round again.
void tst_PanelsInWindow::keyboard()
{
    QFETCH(Qt::Key, key);
    QFETCH(QString, panel);
    QFETCH(QStringList, tabOrder);

    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    // Start from another panel, so that the shortcut has to switch.
    QTest::keyClick(window.get(), key == Qt::Key_6 ? Qt::Key_5 : Qt::Key_6, Qt::ControlModifier);
    QTest::keyClick(window.get(), key, Qt::ControlModifier);
    QWidget *shown = window->findChild<QWidget *>(panel);
    QTRY_VERIFY(shown->isVisible());

    QStringList visited;
    for (int i = 0; i <= tabOrder.size() + 1; ++i) {
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus);
        visited << focus->objectName();
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    QCOMPARE(visited, QStringList(tabOrder) << "rxData" << tabOrder.first());

    // Tab misses no control: what it skips is a radio button whose set it
    // stopped in.
    for (QWidget *control : shown->findChildren<QWidget *>()) {
        if (!reachable(control, shown) || !control->isEnabled()
            || tabOrder.contains(control->objectName()))
            continue;
        auto *radio = qobject_cast<QRadioButton *>(control);
        QVERIFY2(radio && radio->autoExclusive(),
                 qPrintable(control->objectName() + QLatin1Char(' ')
                            + QLatin1String(control->metaObject()->className())));
        bool setVisited = false;
        for (QRadioButton *other : radio->parentWidget()->findChildren<QRadioButton *>())
            setVisited |= tabOrder.contains(other->objectName());
        QVERIFY2(setVisited, qPrintable(control->objectName()));
    }
}

void tst_PanelsInWindow::accessibleNames_data()
{
    addPanelRows(true);
}

// What a screen reader says for a control: its name, or where that is only
// its value (a combo box on Linux), the label that names it.
static QString spokenName(QAccessibleInterface *iface)
{
    const QString name = iface->text(QAccessible::Name);
    if (!name.isEmpty() && name != iface->text(QAccessible::Value))
        return name;
    const auto labels = iface->relations(QAccessible::Label);
    return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name);
}

// Every control has a name of its own; controls of one kind that share a
// name sit in groups that tell them apart.
void tst_PanelsInWindow::accessibleNames()
{
    QFETCH(QString, action);
    QFETCH(QString, panel);

    QWidget *shown = showPanel(action, panel);
    QAccessibleInterface *panelIface = QAccessible::queryAccessibleInterface(shown);
    QStringList seen;
    for (QWidget *control : shown->findChildren<QWidget *>()) {
        if (!reachable(control, shown))
            continue;
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(control);
        QVERIFY(iface);
        const QString name = spokenName(iface).trimmed();
        QVERIFY2(!name.isEmpty(),
                 qPrintable(control->objectName() + QLatin1Char(' ')
                            + QLatin1String(control->metaObject()->className())));
        QString said = QString::number(iface->role()) + QLatin1Char(' ') + name;
        for (QAccessibleInterface *p = iface->parent(); p && p != panelIface; p = p->parent())
            said += QLatin1String(" / ") + p->text(QAccessible::Name);
        QVERIFY2(!seen.contains(said), qPrintable(control->objectName() + ": " + said));
        seen << said;
    }
    QVERIFY(seen.size() >= 4);
}

QTEST_MAIN(tst_PanelsInWindow)
#include "tst_panelsinwindow.moc"
