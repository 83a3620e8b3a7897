#include "antenna_w.h"
#include "comPc.h"
#include "configuration.h"
#include "formfonts.h"
#include "titlecolour.h"
#include "ui_antenna_w.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFocusFrame>
#include <QTextDocumentFragment>

namespace {

// The form names its icons by bare file name, which Qt resolves against the
// working directory while setupUi runs. Where the working directory holds
// none of them (the console started from a desktop menu, from PATH or from
// another folder), setupUi runs in the program's icon folder instead: the
// installed icon folder, found relative to the program, or else the
// program's own folder, where the build tree keeps them. Where the working
// directory holds any of them, it stays as it is, so an operator's own icons
// are still the ones shown.
class IconFolderScope
{
public:
    IconFolderScope()
    {
        const QDir program(QCoreApplication::applicationDirPath());
        for (const QString &candidate :
             {program.filePath(QStringLiteral(NORVEX_ICON_DIR)), program.path()}) {
            const QDir folder(candidate);
            const QStringList icons = folder.entryList({QStringLiteral("*.svg")}, QDir::Files);
            if (icons.isEmpty())
                continue;
            for (const QString &icon : icons)
                if (QFileInfo::exists(icon))
                    return;
            previous_ = QDir::currentPath();
            if (!QDir::setCurrent(folder.path()))
                previous_.clear();
            return;
        }
    }
    ~IconFolderScope()
    {
        if (!previous_.isEmpty())
            QDir::setCurrent(previous_);
    }
    IconFolderScope(const IconFolderScope &) = delete;
    IconFolderScope &operator=(const IconFolderScope &) = delete;

private:
    QString previous_;
};

// The first control of a panel in its Tab order: the panel's own chain
// starts right after it.
QWidget *firstControl(QWidget *panel)
{
    for (QWidget *w = panel->nextInFocusChain(); w != panel; w = w->nextInFocusChain()) {
        if (panel->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled()
            && w->isVisibleTo(panel))
            return w;
    }
    return nullptr;
}

} // namespace

Antenna_w::Antenna_w(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::Antenna_w)
{
    {
        const IconFolderScope iconFolder;
        ui->setupUi(this);
    }
    new TitleColour(ui->title);
    makeRoomForSlant(ui->labelVorlan);
    // Screen readers read a tool button's tool tip as its description; some
    // tips are HTML documents, so give them their plain text instead.
    for (QAction *action : ui->toolBar->actions()) {
        if (QWidget *button = ui->toolBar->widgetForAction(action))
            button->setAccessibleDescription(
                    QTextDocumentFragment::fromHtml(action->toolTip()).toPlainText());
    }
    // The style marks a focused text area with its caret only: ring the log
    // while it has focus, over its own frame. Focus still changes while the
    // window is torn down, after ui is gone, so the handler holds the log.
    QPlainTextEdit *log = ui->rxData;
    auto *logFocus = new QFocusFrame(log);
    logFocus->hide();
    connect(qApp, &QApplication::focusChanged, logFocus, [log, logFocus](QWidget *, QWidget *now) {
        logFocus->setWidget(now == log ? log->viewport() : nullptr);
    });
    init_Antenna();
    connect(ui->actionExit, &QAction::triggered, qApp, &QCoreApplication::quit);

    // Every open and close attempt of the data link writes its line to the log.
    auto *reporter = new comPc;
    reporter->setParent(this);
    connect(ui->config_, &Configuration::sig_open_Serial, reporter, &comPc::status_RS232);
    connect(reporter, &comPc::sig_text, this, &Antenna_w::set_Text);
}

Antenna_w::~Antenna_w()
{
    delete ui;
}

void Antenna_w::init_Antenna()
{
    on_actionConfig_triggered();
}

void Antenna_w::setAntenna(QWidget *ant, bool val)
{
    ant->setVisible(val);
}

void Antenna_w::showPanel(QWidget *panel, const QString &title)
{
    QWidget *const panels[] = {ui->config_, ui->cover_,  ui->meas_,
                               ui->mem_,    ui->switch_, ui->system_};
    for (QWidget *p : panels)
        setAntenna(p, p == panel);
    ui->title->setText(title);
    makeRoomForSlant(ui->title);
    // Keyboard users land in the panel they asked for, not in the log.
    if (QWidget *first = firstControl(panel))
        first->setFocus(Qt::OtherFocusReason);
}

void Antenna_w::on_actionConfig_triggered()
{
    showPanel(ui->config_, QStringLiteral("Antenna configuration"));
}

void Antenna_w::on_actionCoverage_triggered()
{
    showPanel(ui->cover_, QStringLiteral("Antenna coverage"));
}

void Antenna_w::on_actionFactory_settings_triggered()
{
    showPanel(ui->mem_, QStringLiteral("Factory settings"));
}

void Antenna_w::on_actionMeasurement_triggered()
{
    showPanel(ui->meas_, QStringLiteral("Antenna measurement"));
}

void Antenna_w::on_actionTest_System_triggered()
{
    showPanel(ui->system_, QStringLiteral("Test system"));
}

void Antenna_w::on_actionSwitching_triggered()
{
    showPanel(ui->switch_, QStringLiteral("Antenna switching mode"));
}

void Antenna_w::on_actionClear_triggered()
{
    text_.clear();
    ui->rxData->setPlainText(text_);
}

void Antenna_w::set_Text(QString text)
{
    text_.append(text);
    ui->rxData->setPlainText(text_);
}
