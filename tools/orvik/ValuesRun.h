#pragma once

#include "components/commands/ReadValuesCommand.h"
#include "tools/orvik/SensorRun.h"
#include "tools/orvik/ValuesArguments.h"

#include <memory>

// One read of a sensor's live values: a ReadValuesCommand on the connected
// sensor, its samples turned into lines, CSV or JSON.
class ValuesRun : public SensorRun
{
    Q_OBJECT

public:
    explicit ValuesRun(const ValuesArguments::Parsed& arguments,
                       const VELTRIX_Timing& timing =
                           Hvd::Weft::Communication::VeltrixDeviceService::timingFromEnvironment(),
                       QObject* parent = nullptr);
    ~ValuesRun() override;

protected:
    void runJob() override;
    void stopJob() override;

private:
    void readFinished();

    const ValuesArguments::Parsed arguments;
    std::unique_ptr<Hvd::Weft::Components::ReadValuesCommand> command;
};
