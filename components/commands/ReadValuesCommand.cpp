#include "components/commands/ReadValuesCommand.h"

#include "logging/Logger.h"

namespace Hvd::Weft::Components
{

using Communication::Address;
using Communication::Device;
using Communication::DeviceService;
using Communication::Slots;

ReadValuesCommand::ReadValuesCommand(ConnectedDeviceContext& deviceContext, DeviceService& deviceService,
                                     const Request& valuesRequest, QObject* parent)
    : SimpleConnectedDeviceCommand(deviceContext, deviceService, parent)
    , request(valuesRequest)
{
}

QString ReadValuesCommand::getDescription() const
{
    return tr("Reading measured values");
}

bool ReadValuesCommand::checkPreconditions()
{
    if (request.average && request.source == Source::Both)
    {
        Logger::error(getDepth(), "Device and burst values cannot be averaged together");
        error(tr("Device and burst values cannot be averaged together."), System::Application,
              deviceStillConnected);
        return false;
    }
    return SimpleConnectedDeviceCommand::checkPreconditions();
}

void ReadValuesCommand::doConnect()
{
    SimpleConnectedDeviceCommand::doConnect();
    connect(&service, &DeviceService::sampleReceived, this,
            [this](const Slots& sample)
            {
                if (!hearsService())
                    return;
                samples.append(sample);
                Q_EMIT sampleReceived(sample);
            });
    connect(&service, &DeviceService::finishedFixedSamples, this, &ReadValuesCommand::finishOnOwnAnswer);
    connect(&service, &DeviceService::finishedAccumulate, this,
            [this](const Slots& result)
            {
                if (!hearsService())
                    return;
                average = result;
                finish();
            });
}

void ReadValuesCommand::doExecute()
{
    samples.clear();
    average.reset();
    // The values come from the device part, as system commands go there.
    const Address::Type type = systemCommandTarget();
    const Device device = context.getConnectedDevice();
    tagRequest();
    // Queued like every request, so it arrives after its tag.
    QMetaObject::invokeMethod(
        &service,
        [target = &service, type, device, r = request]
        {
            switch (r.source)
            {
            case Source::Device:
                if (r.average)
                    target->accumulateDeviceValues(type, device, r.samples, r.leadingSlotIndex,
                                                   r.topBotSamplesToRemove);
                else
                    target->readFixedDeviceValues(type, device, r.samples);
                break;
            case Source::Burst:
                if (r.average)
                    target->accumulateBurstValues(type, device, r.samples, r.leadingSlotIndex,
                                                  r.topBotSamplesToRemove);
                else
                    target->readFixedBurstValues(type, device, r.samples);
                break;
            case Source::Both:
                target->readFixedDeviceAndBurstValues(type, device, r.samples);
                break;
            }
        },
        Qt::QueuedConnection);
}

} // namespace Hvd::Weft::Components
