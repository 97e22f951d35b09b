#pragma once

#include <QObject>
#include <QSerialPort>

// The line settings a serial port is opened with, apart from the port itself,
// so that a record of them (the session's interface settings) does not pull
// in the transport. FSerialPort inherits them: FSerialPort::Data8 names the
// same value as FSerialLine::Data8.
struct FSerialLine
{
    Q_GADGET

public:
    enum DataBits
    {
        Data5 = QSerialPort::Data5,
        Data6 = QSerialPort::Data6,
        Data7 = QSerialPort::Data7,
        Data8 = QSerialPort::Data8
    };
    Q_ENUM(DataBits)

    enum Parity
    {
        NoParity = QSerialPort::NoParity,
        EvenParity = QSerialPort::EvenParity,
        OddParity = QSerialPort::OddParity,
        SpaceParity = QSerialPort::SpaceParity,
        MarkParity = QSerialPort::MarkParity
    };
    Q_ENUM(Parity)

    enum StopBits
    {
        OneStop = QSerialPort::OneStop,
        OneAndHalfStop = QSerialPort::OneAndHalfStop,
        TwoStop = QSerialPort::TwoStop
    };
    Q_ENUM(StopBits)

    enum FlowControl
    {
        NoFlowControl = QSerialPort::NoFlowControl,
        HardwareControl = QSerialPort::HardwareControl,
        SoftwareControl = QSerialPort::SoftwareControl
    };
    Q_ENUM(FlowControl)
};
