#include "configuration.h"
#include "port_com.h"
#include "ui_configuration.h"

#include <QDebug>
#include <QLabel>
#include <QMessageBox>

#include <iterator>

Configuration::Configuration(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::Configuration)
{
    ui->setupUi(this);
    // On Linux a combo box gives assistive technology its current item as
    // its name and leaves naming it to a label whose buddy it is. The
    // selectors have no visible label: give each a hidden one that says what
    // its accessible name says.
    for (QComboBox *combo : {ui->portName_combo, ui->baud_combo}) {
        auto *label = new QLabel(combo->accessibleName(), combo->parentWidget());
        label->setBuddy(combo);
        label->hide();
    }
    port_ = new Port_Com;
    connect(this, SIGNAL(sig_baud_Changed(BaudRateType)), port_, SLOT(set_baudRate(BaudRateType)));
    connect(this, SIGNAL(sig_portName_Changed(QString)), port_, SLOT(set_portName(QString)));
    // A vanished device takes the panel back to Closed the way a click on
    // CLOSE would.
    connect(port_->serial_Port(), &QextSerialPort::deviceLost, this,
            [this] { ui->closeCom->setChecked(true); });
}

Configuration::~Configuration()
{
    delete ui;
    delete port_;
}

QString Configuration::set_partNumber()
{
    qDebug("Configuration::set_partNumber");
    return part_Number_;
}

QString Configuration::set_serialNumber()
{
    qDebug("Configuration::set_serialNumber");
    return serial_Number_;
}

void Configuration::on_openCom_toggled(bool)
{
    int result = 0;
    if (ui->openCom->isChecked()) {
        result = port_->open_Serial();
        if (result == 0) {
            ui->closeCom->setChecked(true);
            showLinkError(QStringLiteral("Port com not used"));
        } else if (result == 1) {
            // Back to CLOSE first: that runs this slot again, nested, and
            // closes the port that did not open.
            ui->closeCom->setChecked(true);
            showLinkError(QStringLiteral("Port com not opened"),
                          port_->serial_Port()->errorString());
        } else if (result == 2) {
            ui->baud_combo->setEnabled(false);
            ui->portName_combo->setEnabled(false);
        }
    } else {
        result = port_->close_Serial();
        if (result == 2) {
            showLinkError(QStringLiteral("Port com already opened"));
        } else if (result == 1) {
            ui->baud_combo->setEnabled(true);
            ui->portName_combo->setEnabled(true);
        }
    }
    emit sig_open_Serial(result);
}

void Configuration::on_portName_combo_currentIndexChanged(int index)
{
    emit sig_portName_Changed(ui->portName_combo->itemText(index));
}

void Configuration::on_baud_combo_currentIndexChanged(int index)
{
    // By position in the list, not by the entry's text.
    static const BaudRateType rates[] = {BAUD9600, BAUD19200, BAUD38400, BAUD57600};
    if (index >= 0 && index < int(std::size(rates)))
        emit sig_baud_Changed(rates[index]);
}

void Configuration::on_partNumber_textChanged(QString text)
{
    part_Number_ = text;
    qDebug("Configuration::on_partNumber_textChanged");
}

void Configuration::on_serialNumber_textChanged(QString text)
{
    serial_Number_ = text;
    qDebug("Configuration::on_serialNumber_textChanged");
}

void Configuration::showLinkError(const QString &text, const QString &reason)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("ERROR COMMUNICATION DATA LINK"), text,
                    QMessageBox::Ok, this);
    box.setInformativeText(reason);
    // The reason quotes what other programs and users chose to write: shown
    // as plain text, never as markup.
    for (QLabel *label : box.findChildren<QLabel *>())
        label->setTextFormat(Qt::PlainText);
    box.exec();
}
