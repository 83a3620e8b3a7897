#ifndef CONFIGURATION_H
#define CONFIGURATION_H

#include "port_com.h"

#include <QString>
#include <QWidget>

namespace Ui {
class Configuration;
}

// The Data Link panel: picks the port and rate, opens and closes the link,
// and holds the unit's part and serial numbers.
class Configuration : public QWidget
{
    Q_OBJECT

public:
    explicit Configuration(QWidget *parent = nullptr);
    ~Configuration() override;

    QString set_partNumber();
    QString set_serialNumber();

signals:
    void sig_portName_Changed(QString);
    void sig_baud_Changed(BaudRateType);
    void sig_open_Serial(int);

private slots:
    void on_openCom_toggled(bool);
    void on_portName_combo_currentIndexChanged(int index);
    void on_baud_combo_currentIndexChanged(int index);
    void on_partNumber_textChanged(QString text);
    void on_serialNumber_textChanged(QString text);

private:
    void showLinkError(const QString &text, const QString &reason = QString());

    Ui::Configuration *ui;
    QString part_Number_;
    QString serial_Number_;
    Port_Com *port_;
};

#endif // CONFIGURATION_H
