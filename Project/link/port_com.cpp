#include "port_com.h"

#include <QDebug>

Port_Com::Port_Com()
    : portCom(new QextSerialPort)
{
    portCom->setPortName(QStringLiteral("COM1"));
    portCom->setBaudRate(BAUD9600);
}

Port_Com::~Port_Com()
{
    close_Serial();
    delete portCom;
}

int Port_Com::open_Serial()
{
    portCom->setDataBits(DATA_8);
    portCom->setStopBits(STOP_1);
    portCom->setParity(PAR_EVEN);
    portCom->open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    const int result = portCom->isOpen() ? 2 : 1;
    qDebug("Port_Com::open_Serial");
    return result;
}

int Port_Com::close_Serial()
{
    portCom->close();
    return portCom->isOpen() ? 2 : 1;
}

const QextSerialPort *Port_Com::serial_Port() const
{
    return portCom;
}

void Port_Com::set_baudRate(BaudRateType baud)
{
    portCom->setBaudRate(baud);
    qDebug("Port_Com::get_baudRate");
}

void Port_Com::set_portName(QString name)
{
    portCom->setPortName(name);
    qDebug("Port_Com::set_portName");
}
