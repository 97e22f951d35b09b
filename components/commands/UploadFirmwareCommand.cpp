#include "components/commands/UploadFirmwareCommand.h"

namespace Hvd::Weft::Components
{

using Communication::DeviceService;

UploadFirmwareCommand::UploadFirmwareCommand(ConnectedDeviceContext& deviceContext,
                                             DeviceService& deviceService, const Request& uploadRequest,
                                             QObject* parent)
    : SimpleConnectedDeviceCommand(deviceContext, deviceService, parent)
    , request(uploadRequest)
{
}

QString UploadFirmwareCommand::getDescription() const
{
    return tr("Uploading firmware");
}

void UploadFirmwareCommand::doConnect()
{
    SimpleConnectedDeviceCommand::doConnect();
    connect(&service, &DeviceService::success, this, &UploadFirmwareCommand::finishOnOwnAnswer);
}

void UploadFirmwareCommand::doExecute()
{
    tagRequest();
    // Queued like every request, so it arrives after its tag.
    QMetaObject::invokeMethod(
        &service,
        [target = &service, type = systemCommandTarget(), device = context.getConnectedDevice(), r = request]
        { target->upload(type, device, r.family, r.fileName, r.rescueMode, r.leavePortOpenOnError); },
        Qt::QueuedConnection);
}

} // namespace Hvd::Weft::Components
