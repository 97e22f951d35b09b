#pragma once

#include "app/Orvik.h"
#include "communication/QtComPortScanner.h"
#include "communication/VeltrixDeviceService.h"
#include "components/connectors/DeviceConnector.h"
#include "components/connectors/DeviceContext.h"

#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>

class RescaleFlow;

// One rescale of the sensor on one port, assembled from the same objects as
// the window (device context, the device service in "DeviceThread", port
// scanner, connector, the rescale flow). It has no rescaling logic of its
// own: what it adds is turning progress, values and failures into lines of
// text.
class RescaleRun : public QObject
{
    Q_OBJECT

public:
    // Timeouts are the service's defaults; tests shorten them.
    RescaleRun(const QString& port, const Orvik& orvik,
               const Hvd::Weft::Communication::DeviceServiceTimeouts& timeouts = {},
               QObject* parent = nullptr);
    ~RescaleRun() override;

    // Starts the run; it ends with finished().
    void start();
    // Stopped from outside (a termination signal): whatever runs is stopped,
    // the port is released, and the run ends as failed.
    void interrupt(const QString& reason);

    // The exit code once finished (RescaleArguments::ExitCode).
    std::optional<int> exitCode() const { return code; }

Q_SIGNALS:
    // A line for standard output: progress, then the new values.
    void printed(const QString& line);
    // A line for standard error: what the window would show in a message box.
    void failed(const QString& message);
    void finished(int exitCode);

private:
    void showProgress(std::uint32_t progress, const QString& description);
    void succeed();
    void releaseEnded(const std::optional<QString>& releaseError);
    void end(int exitCode);

    const QString port;
    const Orvik orvik;
    // In the order the window's program creates them; destroyed in reverse.
    Hvd::Weft::Components::DeviceContext context;
    std::unique_ptr<Hvd::Weft::Communication::VeltrixDeviceService> service;
    QThread deviceThread;
    Hvd::Weft::Communication::QtComPortScanner scanner;
    Hvd::Weft::Components::DeviceConnector connector;
    std::unique_ptr<RescaleFlow> flow;

    bool started = false;
    QString failure;
    QString interruption;
    QString lastProgress;
    // The two values the window shows, as it shows them.
    QString innerDiameter;
    QString maxFlow;
    std::optional<int> code;
};
