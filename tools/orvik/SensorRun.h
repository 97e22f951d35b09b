#pragma once

#include "communication/VeltrixDeviceService.h"
#include "components/connectors/DeviceStack.h"
#include "components/connectors/SensorSession.h"
#include "tools/orvik/CommandRun.h"

#include <functional>

namespace Hvd::Weft::Components
{
class Command;
}

// A subcommand's job on the sensor of one port, through the window's
// objects (the device stack and a sensor session): the sensor is connected,
// the job runs, and the sensor is released again without a restart. A
// derived run supplies the job.
class SensorRun : public CommandRun
{
    Q_OBJECT

public:
    // Without `identify` only the port is opened (a sensor in its bootloader).
    SensorRun(const QString& port, bool identify, const VELTRIX_Timing& timing, QObject* parent);
    ~SensorRun() override;

    void start() override;
    void interrupt(const QString& reason) override;

protected:
    // Checks made before the port is touched, with the description loaded;
    // false with the reason in `problem` ends the run with 1.
    virtual bool prepare(QString* problem)
    {
        Q_UNUSED(problem);
        return true;
    }
    // The sensor is connected: start the job.
    virtual void runJob() = 0;
    // Stops the job's command when the run is interrupted.
    virtual void stopJob() = 0;

    // Shows the command's progress and fails the run with its error, or
    // hands the error to `onError` when one is given.
    void follow(Hvd::Weft::Components::Command& command, std::function<void(const QString&)> onError = {});
    // The job is done: release the sensor, then end with 0.
    void jobSucceeded();
    // Keeps the first failure and releases the sensor; the run ends with 1
    // once it is released.
    void fail(const QString& message);
    // Ends with 1 at once and leaves the port as the service left it.
    void failKeepingPort(const QString& message);

    const QString port;
    Hvd::Weft::Components::DeviceStack stack;

private:
    void release();
    void released();

    Hvd::Weft::Components::SensorSession session;
    bool interrupted = false;
    bool started = false;
    bool succeeded = false;
    QString failure;
};
