#include "antenna_w.h"
#include "ui_antenna_w.h"

#include <QCoreApplication>

Antenna_w::Antenna_w(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::Antenna_w)
{
    ui->setupUi(this);
    init_Antenna();
    connect(ui->actionExit, &QAction::triggered, qApp, &QCoreApplication::quit);
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
