// A random operator: thousands of seeded random actions on the whole main
// window, the way a technician would click and type, with the window's
// invariants checked after each one.
//
// NORVEX_OPERATOR_SEED=<seed> NORVEX_OPERATOR_STEPS=<n> replays one run;
// NORVEX_OPERATOR_SEEDS=<count> plays seeds 1 to count;
// NORVEX_OPERATOR_TRACE=1 prints every step as it is played.
// A step that has not ended after a minute ends the run, naming it.
#include "antenna_w.h"
#include "configuration.h"
#include "linktest.h"
#include "panels.h"
#include "testsupport.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTest>
#include <QToolBar>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#ifdef Q_OS_WIN
#include <io.h>
#endif
#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/common_interface_defs.h>
#endif

namespace {

const qint64 lineRates[] = {9600, 19200, 38400, 57600};

const QString openLine = QStringLiteral("Com Data Link: open \n");
const QString closeLine = QStringLiteral("Com Data Link: close \n");

// The step being played, written out if the process dies during it.
char playing[1024];

void writePlaying()
{
#ifdef Q_OS_WIN
    ::_write(2, playing, unsigned(std::strlen(playing)));
#else
    [[maybe_unused]] const auto written = ::write(STDERR_FILENO, playing, std::strlen(playing));
#endif
}

#ifdef Q_OS_WIN
LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;

LONG WINAPI onCrash(EXCEPTION_POINTERS *exception)
{
    writePlaying();
    return previousFilter ? previousFilter(exception) : EXCEPTION_CONTINUE_SEARCH;
}

void reportStepOnCrash()
{
    previousFilter = ::SetUnhandledExceptionFilter(onCrash);
    // abort() goes on to end the process once the handler returns.
    std::signal(SIGABRT, [](int) { writePlaying(); });
}
#else
struct sigaction previousActions[NSIG];
const int fatalSignals[] = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL};

void onFatalSignal(int signal)
{
    writePlaying();
    ::sigaction(signal, &previousActions[signal], nullptr);
    ::raise(signal);
}

void reportStepOnCrash()
{
    struct sigaction action = {};
    action.sa_handler = onFatalSignal;
    for (int signal : fatalSignals)
        ::sigaction(signal, &action, &previousActions[signal]);
#ifdef __SANITIZE_ADDRESS__
    __sanitizer_set_death_callback(writePlaying);
#endif
}
#endif

// Ends the process, naming the step being played, when no step has ended for
// a while: a hang then fails its own seed rather than the whole run.
class StepWatchdog
{
public:
    explicit StepWatchdog(std::chrono::seconds limit)
        : m_thread([this, limit] { watch(limit); })
    { }
    ~StepWatchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    StepWatchdog(const StepWatchdog &) = delete;
    StepWatchdog &operator=(const StepWatchdog &) = delete;

    void stepEnded() { ++m_steps; }

private:
    void watch(std::chrono::seconds limit)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (quint64 seen = m_steps; !m_wake.wait_for(lock, limit, [this] { return m_done; });
             seen = m_steps) {
            if (m_steps == seen) {
                std::fprintf(stderr, "tst_operator: no step ended for %lld s\n",
                             static_cast<long long>(limit.count()));
                std::abort(); // the crash report names the step
            }
        }
    }

    std::atomic<quint64> m_steps{0};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::thread m_thread;
};

QString shown(QString text)
{
    if (text.size() > 160)
        text = QStringLiteral("...") + text.right(160);
    return QLatin1Char('"') + text.replace(QLatin1Char('\n'), QLatin1String("\\n"))
            + QLatin1Char('"');
}

QString randomText(QRandomGenerator &rng)
{
    static const char characters[] = "0123456789 ABCDEFGHJKLMNPRSTUVWXYZ abcdefghxyz.,-_/:#";
    QString text;
    for (int i = 1 + int(rng.bounded(8)); i > 0; --i)
        text += QLatin1Char(characters[rng.bounded(int(sizeof characters) - 1)]);
    return text;
}

// Plays random actions on the window and keeps a model of what they should
// have done. The port list gets two more entries, the far end's device and
// one that does not exist; COM1 to COM10 are real ports on some machines and
// are never chosen by their own entries.
class RandomOperator
{
public:
    RandomOperator(quint32 runSeed, Antenna_w &console, const DialogCatcher &catcher)
        : rng(runSeed)
        , seed(runSeed)
        , window(console)
        , dialogs(catcher)
    {
        for (const PanelInfo &info : panelInfo) {
            auto *panel = child<QWidget>(&window, info.panel);
            panels << panel;
            buttons << panel->findChildren<QAbstractButton *>();
        }
    }

    bool setUp()
    {
        if (!remote.isValid())
            return false;
        ports->addItem(remote.portName());
        ports->addItem(remote.missingPortName());
        ports->setCurrentIndex(missingEntry);
        return violation().isEmpty();
    }
    void play(int number)
    {
        using Step = void (RandomOperator::*)();
        static const struct
        {
            int weight;
            Step step;
        } steps[] = {
                {10, &RandomOperator::showAnyPanel}, {1, &RandomOperator::help},
                {4, &RandomOperator::clear},         {8, &RandomOperator::typeInField},
                {4, &RandomOperator::typeInLog},     {12, &RandomOperator::clickAnyButton},
                {8, &RandomOperator::clickOpen},     {6, &RandomOperator::clickClose},
                {5, &RandomOperator::choosePort},    {5, &RandomOperator::chooseRate},
                {3, &RandomOperator::removeDevice},
        };
        int total = 0;
        for (const auto &candidate : steps)
            total += candidate.weight;

        step = number;
        action.clear();
        then.clear();
        failure.clear();
        int pick = int(rng.bounded(total));
        for (const auto &candidate : steps) {
            pick -= candidate.weight;
            if (pick < 0) {
                (this->*candidate.step)();
                break;
            }
        }
        // Let whatever the step posted happen within it.
        QCoreApplication::processEvents();
    }
    QString violation() const
    {
        QStringList visible;
        for (const QWidget *panel : panels) {
            if (panel->isVisible())
                visible << panel->objectName();
        }
        const PanelInfo &expected = panelInfo[model.panel];
        if (visible != QStringList{QLatin1String(expected.panel)})
            return QStringLiteral("panels shown: %1; expected %2")
                    .arg(visible.join(QLatin1String(", ")), QLatin1String(expected.panel));
        if (title->text() != QLatin1String(expected.title))
            return QStringLiteral("title %1 over %2").arg(shown(title->text()), expected.panel);

        const char *link = model.open ? "open" : "closed";
        if (openCom->isChecked() != model.open || closeCom->isChecked() == model.open)
            return QStringLiteral("link %1, but OPEN is %2checked")
                    .arg(link, openCom->isChecked() ? "" : "un");
        if (ports->isEnabled() == model.open || rates->isEnabled() == model.open)
            return QStringLiteral("link %1, but the port selector is %2 and the rate selector %3")
                    .arg(link, ports->isEnabled() ? "enabled" : "disabled",
                         rates->isEnabled() ? "enabled" : "disabled");
        // Under wine a closed port is let go a moment later.
        if (!QTest::qWaitFor([this] { return remote.isHeld() == model.open; }))
            return QStringLiteral("link %1, but the device is %2held")
                    .arg(link, model.open ? "not " : "");
        if (ports->currentIndex() != model.port || rates->currentIndex() != model.rate)
            return QStringLiteral("selectors show %1 at %2")
                    .arg(shown(ports->currentText()), rates->currentText());

        if (config->set_partNumber() != partNumber->text()
            || config->set_serialNumber() != serialNumber->text())
            return QStringLiteral("the panel holds %1 and %2 for the fields %3 and %4")
                    .arg(shown(config->set_partNumber()), shown(config->set_serialNumber()),
                         shown(partNumber->text()), shown(serialNumber->text()));
        if (!model.typedInLog && log->toPlainText() != model.log)
            return QStringLiteral("the log shows %1; expected %2")
                    .arg(shown(log->toPlainText()), shown(model.log));
        if (QApplication::activeModalWidget() || QApplication::activePopupWidget())
            return QStringLiteral("a dialog or list is still open");
        return {};
    }

    QString action; // what the last step did
    QString failure; // what went wrong inside it

private:
    enum { deviceEntry = 10, missingEntry = 11 };

    void describe(const QString &text)
    {
        action = then + text;
        std::snprintf(playing, sizeof playing, "tst_operator died at seed %u, step %d: %s\n", seed,
                      step, qPrintable(action));
    }
    void expect(bool condition, const QString &what)
    {
        if (!condition && failure.isEmpty())
            failure = what;
    }
    // With the mouse where the operator could see the button; a hidden one only
    // by program.
    void click(QAbstractButton *button)
    {
        if (button->isVisible())
            QTest::mouseClick(button, Qt::LeftButton);
        else
            button->click();
    }

    void showAnyPanel() { showPanel(int(rng.bounded(int(std::size(panelInfo))))); }
    void showPanel(int index)
    {
        describe(QStringLiteral("tool bar: %1").arg(QLatin1String(panelInfo[index].action)));
        QTest::mouseClick(
                toolBar->widgetForAction(child<QAction>(&window, panelInfo[index].action)),
                Qt::LeftButton);
        model.panel = index;
    }
    // Link actions mostly start on the Data Link panel, where the operator sees
    // them; sometimes they reach it while hidden.
    void goToDataLink()
    {
        if (model.panel == 0 || rng.bounded(3) == 0)
            return;
        showPanel(0);
        then = action + QStringLiteral(", then ");
    }
    void help()
    {
        const char *name = rng.bounded(2) ? "actionAbout_Norvex" : "actionDocumentation";
        describe(QStringLiteral("Help: %1").arg(QLatin1String(name)));
        child<QAction>(&window, name)->trigger();
    }
    void clear()
    {
        describe(QStringLiteral("File: Clear"));
        child<QAction>(&window, "actionClear")->trigger();
        model.log.clear();
        model.typedInLog = false;
    }
    void typeInField()
    {
        const QList<QLineEdit *> fields = panels.at(model.panel)->findChildren<QLineEdit *>();
        if (fields.isEmpty()) {
            typeInLog();
            return;
        }
        QLineEdit *field = fields.at(int(rng.bounded(int(fields.size()))));
        if (rng.bounded(4) == 0) {
            describe(QStringLiteral("empty %1").arg(field->objectName()));
            QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(field, Qt::Key_Backspace);
            return;
        }
        const QString text = randomText(rng);
        describe(QStringLiteral("type %1 into %2").arg(shown(text), field->objectName()));
        QTest::keyClicks(field, text);
    }
    void typeInLog()
    {
        const int kind = int(rng.bounded(4));
        if (kind == 0) {
            describe(QStringLiteral("type Return into the log"));
            QTest::keyClick(log, Qt::Key_Return);
        } else if (kind == 1) {
            describe(QStringLiteral("type Backspace into the log"));
            QTest::keyClick(log, Qt::Key_Backspace);
        } else {
            const QString text = randomText(rng);
            describe(QStringLiteral("type %1 into the log").arg(shown(text)));
            QTest::keyClicks(log, text);
        }
        model.typedInLog = true;
    }
    // Mostly on the panel shown, sometimes on any.
    void clickAnyButton()
    {
        const QList<QAbstractButton *> from = rng.bounded(4)
                ? panels.at(model.panel)->findChildren<QAbstractButton *>()
                : buttons;
        press(from.at(int(rng.bounded(int(from.size())))));
    }
    void clickOpen()
    {
        goToDataLink();
        press(openCom);
    }
    void clickClose()
    {
        goToDataLink();
        press(closeCom);
    }
    void choosePort()
    {
        goToDataLink();
        choose(ports, deviceEntry + int(rng.bounded(2)), model.port);
    }
    void chooseRate()
    {
        goToDataLink();
        choose(rates, int(rng.bounded(4)), model.rate);
    }
    // The device disappears (a cable pulled, an adapter unplugged); a fresh one
    // takes its name for later opens.
    void removeDevice()
    {
        const bool wasOpen = model.open;
        const bool closeAtOnce = wasOpen && rng.bounded(2);
        describe(QStringLiteral("remove the device%1")
                         .arg(wasOpen ? closeAtOnce ? " and click CLOSE at once" : " while open"
                                      : QString()));
        remote.unplug();
        if (closeAtOnce)
            click(closeCom);
        if (wasOpen) {
            expect(QTest::qWaitFor([this] { return closeCom->isChecked() && !remote.isHeld(); }),
                   QStringLiteral("the link did not notice the device loss"));
            model.open = false;
            writeLines(closeLine);
        }
    }

    // A click on any button; OPEN and CLOSE drive the link.
    void press(QAbstractButton *button)
    {
        describe(QStringLiteral("click %1 (%2)")
                         .arg(button->objectName(), button->isVisible() ? "shown" : "hidden"));
        QString lines;
        QString dialog;
        if (button == openCom && !model.open) {
            model.open = model.port == deviceEntry;
            if (model.open) {
                lines = openLine;
            } else {
                lines = closeLine + closeLine;
                dialog = QStringLiteral("Port com not opened");
            }
        } else if (button == closeCom && model.open) {
            model.open = false;
            lines = closeLine;
        }

        const qsizetype dialogsBefore = dialogs.seen.size();
        click(button);
        writeLines(lines);

        QStringList seen;
        for (qsizetype i = dialogsBefore; i < dialogs.seen.size(); ++i)
            seen << shown(dialogs.seen.at(i));
        expect(seen == (dialog.isEmpty() ? QStringList() : QStringList{shown(dialog)}),
               QStringLiteral("dialogs shown: %1; expected: %2")
                       .arg(seen.join(QLatin1String(", ")),
                            dialog.isEmpty() ? "none" : shown(dialog)));
        if (button == openCom && !lines.isEmpty() && model.open) {
            expect(QTest::qWaitFor(
                           [this] { return remote.settings().rate == lineRates[model.rate]; }),
                   QStringLiteral("the device runs at another rate than %1")
                           .arg(rates->currentText()));
        }
    }
    // With the arrow keys, as the operator would on the closed list; a locked
    // selector ignores them.
    void choose(QComboBox *combo, int index, int &chosen)
    {
        describe(QStringLiteral("choose %1 in %2 (%3, %4)")
                         .arg(shown(combo->itemText(index)), combo->objectName(),
                              combo->isVisible() ? "shown" : "hidden",
                              combo->isEnabled() ? "enabled" : "disabled"));
        if (!combo->isVisible()) {
            if (combo->isEnabled()) {
                combo->setCurrentIndex(index);
                chosen = index;
            }
            return;
        }
        const int moves = index - combo->currentIndex();
        for (int i = 0; i < qAbs(moves); ++i)
            QTest::keyClick(combo, moves > 0 ? Qt::Key_Down : Qt::Key_Up);
        if (combo->isEnabled())
            chosen = index;
    }
    void writeLines(const QString &lines)
    {
        if (lines.isEmpty())
            return;
        model.log += lines;
        model.typedInLog = false;
    }

    QRandomGenerator rng;
    quint32 seed;
    int step = 0;
    QString then; // the first part of a step in two
    Antenna_w &window;
    const DialogCatcher &dialogs;
    FarEnd remote;

    QList<QWidget *> panels;
    QList<QAbstractButton *> buttons;
    QLabel *title = child<QLabel>(&window, "title");
    QPlainTextEdit *log = child<QPlainTextEdit>(&window, "rxData");
    QToolBar *toolBar = child<QToolBar>(&window, "toolBar");
    QComboBox *ports = child<QComboBox>(&window, "portName_combo");
    QComboBox *rates = child<QComboBox>(&window, "baud_combo");
    QRadioButton *openCom = child<QRadioButton>(&window, "openCom");
    QRadioButton *closeCom = child<QRadioButton>(&window, "closeCom");
    Configuration *config = child<Configuration>(&window, "config_");
    QLineEdit *partNumber = child<QLineEdit>(config, "partNumber");
    QLineEdit *serialNumber = child<QLineEdit>(config, "serialNumber");

    struct
    {
        int panel = 0;
        bool open = false;
        int port = missingEntry;
        int rate = 0;
        QString log;
        bool typedInLog = false; // shown text differs until the next line or Clear
    } model;
};

} // namespace

class tst_Operator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { failOnAnyWarning(); }
    void cleanup() { playing[0] = '\0'; }

    void randomActions_data();
    void randomActions();
};

// Seeds played by default. Under wine each step that checks the device
// opens a COM port and asks the pty host, which takes far longer.
#ifdef Q_OS_WIN
const int defaultSeeds = 1;
#else
const int defaultSeeds = 3;
#endif

// The seeds to play, as the environment asks.
static QList<quint32> seedsToPlay()
{
    QList<quint32> seeds;
    if (qEnvironmentVariableIsSet("NORVEX_OPERATOR_SEED")) {
        seeds << qEnvironmentVariable("NORVEX_OPERATOR_SEED").toUInt();
    } else {
        const int count = qEnvironmentVariableIsSet("NORVEX_OPERATOR_SEEDS")
                ? qEnvironmentVariableIntValue("NORVEX_OPERATOR_SEEDS")
                : defaultSeeds;
        for (int seed = 1; seed <= count; ++seed)
            seeds << quint32(seed);
    }
    return seeds;
}

// Qt Test's watchdog times a whole test function, all its seeds together
// (five minutes by default); the step watchdog catches a hang. Give Qt's
// five minutes a seed, unless the caller set it.
static void allowTimeForEverySeed()
{
    if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT",
                QByteArray::number(qMax(qint64(1), qint64(seedsToPlay().size())) * 300000));
}

void tst_Operator::initTestCase()
{
    reportStepOnCrash();
    qInfo("%d seed(s) by default on this platform, %d played", defaultSeeds,
          int(seedsToPlay().size()));
}

void tst_Operator::randomActions_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("steps");

    const int steps = qEnvironmentVariableIsSet("NORVEX_OPERATOR_STEPS")
            ? qEnvironmentVariableIntValue("NORVEX_OPERATOR_STEPS")
            : 2000;
    for (quint32 seed : seedsToPlay())
        QTest::addRow("%d random actions keep the invariants, seed %u", steps, seed)
                << seed << steps;
}

void tst_Operator::randomActions()
{
    QFETCH(quint32, seed);
    QFETCH(int, steps);
    const bool trace = qEnvironmentVariableIsSet("NORVEX_OPERATOR_TRACE");
    QElapsedTimer elapsed;
    elapsed.start();
    std::snprintf(playing, sizeof playing, "tst_operator died at seed %u, before its first step\n",
                  seed);
    StepWatchdog watchdog(std::chrono::seconds(60));

    Antenna_w window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    TraceLog traces; // thousands of debug traces: kept off the output
    DialogCatcher dialogs;
    RandomOperator player(seed, window, dialogs);
    QVERIFY(player.setUp());

    for (int step = 1; step <= steps; ++step) {
        player.play(step);
        watchdog.stepEnded();
        traces.events.clear();
        const QString where =
                QStringLiteral("seed %1, step %2: %3").arg(seed).arg(step).arg(player.action);
        if (trace)
            qInfo("%s", qPrintable(where));
        QString failure = player.failure.isEmpty() ? player.violation() : player.failure;
        if (failure.isEmpty() && QTest::currentTestFailed())
            failure = QStringLiteral("a Qt warning (above)");
        if (!failure.isEmpty())
            QFAIL(qPrintable(QStringLiteral("%1: %2. Replay: NORVEX_OPERATOR_SEED=%3 "
                                            "NORVEX_OPERATOR_STEPS=%4")
                                     .arg(where, failure)
                                     .arg(seed)
                                     .arg(step)));
    }
    qInfo("seed %u: %d actions in %.1f s", seed, steps, double(elapsed.elapsed()) / 1000);
}

QTEST_MAIN_WRAPPER(tst_Operator, allowTimeForEverySeed(); QTEST_MAIN_SETUP())
#include "tst_operator.moc"
