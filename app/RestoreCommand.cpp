#include "app/RestoreCommand.h"

#include "app/ClosingSteps.h"
#include "app/SensorBackup.h"
#include "components/commands/CompositeCommand.h"
#include "components/commands/ReadParametersCommand.h"
#include "components/commands/WriteParametersCommand.h"
#include "components/connectors/DeviceContext.h"
#include "device/Tag.h"
#include "logging/Logger.h"

#include <QCoreApplication>

using namespace Hvd::Weft::Components;
using Hvd::Weft::Communication::DeviceService;

CompositeCommand* createRestoreCommand(DeviceContext& context, DeviceService& service,
                                       const SensorBackup& backup, SensorBackup::Limits limits,
                                       QString* refusal, QObject* parent)
{
    *refusal = backup.mismatch(context.getConnectedDevice());
    DeviceService::ParameterList deviceParameters;
    DeviceService::ParameterList subdeviceParameters;
    if (!refusal->isEmpty() ||
        !backup.toParameters(context, limits, deviceParameters, subdeviceParameters, refusal))
        return nullptr;
    auto* composite = new CompositeCommand({}, CompositeCommand::detailedProgressReports, parent);
    const auto serial = context.getDeviceParameter(Hvd::Weft::Device::Tag::SERIALNUMBER);
    if (serial && !backup.serialNumber.isEmpty())
    {
        auto* check = new ReadParametersCommand(
            context, service, QCoreApplication::translate("SensorBackup", "Checking the serial number"),
            composite);
        check->setParameters({*serial}, {});
        // Emitted before the check finishes: a refusal ends the composite
        // before the write starts.
        QObject::connect(check, &ReadParametersCommand::parametersRead, check,
                         [check, expected = backup, name = serial->get().getName()](
                             const DeviceService::SettingList& settings, const DeviceService::SettingList&)
                         {
                             QString found = QStringLiteral("-");
                             for (const auto& setting : settings)
                             {
                                 if (setting.getName() == name)
                                     found = QString::fromStdString(setting.getValue().toString());
                             }
                             const QString otherSensor = expected.serialMismatch(found);
                             if (otherSensor.isEmpty())
                                 return;
                             Logger::error("{}", otherSensor.toStdString());
                             check->error(otherSensor, System::Application, deviceStillConnected);
                         });
        composite->addCommand(check);
    }
    const ClosingSteps closing =
        addClosingSteps(*composite, context, service,
                        QCoreApplication::translate("SensorBackup", "Restoring previous parameters"));
    closing.write->setParameters(std::move(deviceParameters), std::move(subdeviceParameters));
    return composite;
}
