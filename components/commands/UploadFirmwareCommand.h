#pragma once

#include "communication/BootloaderType.h"
#include "components/commands/SimpleConnectedDeviceCommand.h"

#include <QString>

namespace Hvd::Weft::Components
{

// Uploads a firmware image into the connected sensor through its bootloader.
// Ends once the bootloader reports the download successful; the service has
// closed the port by then.
class UploadFirmwareCommand : public SimpleConnectedDeviceCommand
{
    Q_OBJECT

public:
    struct Request
    {
        Communication::BootloaderType family = Communication::BootloaderType::Undefined;
        QString fileName;
        // The sensor already runs its bootloader: no command starts it.
        bool rescueMode = false;
        bool leavePortOpenOnError = false;
    };

    UploadFirmwareCommand(ConnectedDeviceContext& context, Communication::DeviceService& service,
                          const Request& request, QObject* parent);

    QString getDescription() const override;

protected:
    void doConnect() override;
    void doExecute() override;

private:
    Request request;
};

} // namespace Hvd::Weft::Components
