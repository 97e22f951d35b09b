#pragma once

#include "components/commands/UploadFirmwareCommand.h"
#include "tools/orvik/FlashArguments.h"
#include "tools/orvik/SensorRun.h"

#include <memory>

// One firmware upload: an UploadFirmwareCommand on the connected sensor (or,
// in rescue, on the opened port), the bootloader's states as lines.
class FlashRun : public SensorRun
{
    Q_OBJECT

public:
    explicit FlashRun(const FlashArguments::Parsed& arguments,
                      const VELTRIX_Timing& timing =
                          Hvd::Weft::Communication::VeltrixDeviceService::timingFromEnvironment(),
                      QObject* parent = nullptr);
    ~FlashRun() override;

protected:
    void runJob() override;
    void stopJob() override;

private:
    const FlashArguments::Parsed arguments;
    std::unique_ptr<Hvd::Weft::Components::UploadFirmwareCommand> command;
};
