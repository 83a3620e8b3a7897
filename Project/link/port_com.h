#ifndef PORT_COM_H
#define PORT_COM_H

#include "qextserialport.h"

#include <QObject>
#include <QString>

// The one gateway to the data link: passes on the port name and rate, opens
// the port with the unit's fixed line settings and closes it. Open and close
// return the link result: 1 when the port is then closed, 2 when it is open.
class Port_Com : public QObject
{
    Q_OBJECT

public:
    Port_Com();
    ~Port_Com() override;

    int open_Serial();
    int close_Serial();

    // Read-only view of the port: why the last open failed (errorString())
    // and deviceLost() when the open device disappears.
    const QextSerialPort *serial_Port() const;

private slots:
    void set_baudRate(BaudRateType baud);
    void set_portName(QString name);

private:
    QextSerialPort *portCom;
};

#endif // PORT_COM_H
