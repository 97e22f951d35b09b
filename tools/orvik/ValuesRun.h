#pragma once

#include "communication/QtComPortScanner.h"
#include "communication/VeltrixDeviceService.h"
#include "components/commands/ReadValuesCommand.h"
#include "components/connectors/DeviceConnector.h"
#include "components/connectors/DeviceContext.h"
#include "tools/orvik/CommandLine.h"
#include "tools/orvik/CommandRun.h"
#include "tools/orvik/ValuesArguments.h"

#include <QThread>
#include <QTimer>

#include <memory>

// One read of a sensor's live values on one port: the window's objects
// (device context, the device service in "DeviceThread", port scanner,
// connector) identify the sensor, a ReadValuesCommand reads the values, and
// the sensor is released again without a restart; the run only turns the
// samples into lines.
class ValuesRun : public CommandRun
{
    Q_OBJECT

public:
    explicit ValuesRun(const ValuesArguments::Parsed& arguments,
                       const Hvd::Weft::Communication::DeviceServiceTimeouts& timeouts = {},
                       QObject* parent = nullptr);
    ~ValuesRun() override;

    void start() override;
    void interrupt(const QString& reason) override;

private:
    void readValues();
    void readFinished();
    // Keeps the first failure and releases the sensor; the run ends once it is.
    void fail(const QString& message);
    void release();
    void released();

    const ValuesArguments::Parsed arguments;
    Hvd::Weft::Components::DeviceContext context;
    std::unique_ptr<Hvd::Weft::Communication::VeltrixDeviceService> service;
    QThread deviceThread;
    Hvd::Weft::Communication::QtComPortScanner scanner;
    Hvd::Weft::Components::DeviceConnector connector;
    std::unique_ptr<Hvd::Weft::Components::ReadValuesCommand> command;
    // Bounds the wait for the port after an interrupt.
    QTimer interruptWatch;
    quint64 interruptRequest = 0;
    bool interruptTaken = false;
    bool started = false;
    bool succeeded = false;
    QString failure;
};
