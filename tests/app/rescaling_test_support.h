#pragma once

// Shared by the rescaling tests: the shipped description, a scripted service
// that keeps what it was asked to write, and one rescaling command bound to
// a connected sensor.

#include "app/ParameterizeOrvikCommand.h"
#include "components/QtResourceReader.h"
#include "components/components_test_support.h"
#include "components/connectors/DeviceContext.h"
#include "device/import/FileReader.h"
#include "device/import/Importer.h"
#include "device/import/JsonFormatImporter.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <memory>

namespace RescalingTest
{

using namespace ComponentsTest;
using Hvd::Weft::Components::DeviceContext;
using Hvd::Weft::Device::DataType;
using Hvd::Weft::Device::Parameter;
using Hvd::Weft::Device::ParameterSetting;
using Hvd::Weft::Device::Value;

inline constexpr const char* kFactorV2 = "measurement.setting.scaling.K0";
inline constexpr const char* kFactorV1 = "EE_AK";

// Imported once: compiling the schemas is the slow part.
inline const Hvd::Weft::Device::Device& shippedDescription()
{
    static const Hvd::Weft::Device::Device description = []
    {
        namespace D = Hvd::Weft::Device;
        const D::FileReader settingsSchema("Resources/DeviceSettings.schema.json");
        const D::FileReader descriptionSchema("Resources/DeviceDescription.schema.json");
        auto format = std::make_shared<D::JsonFormatImporter>(descriptionSchema, settingsSchema);
        const D::Importer importer(
            D::Importer::Config{{D::Format::DESC_JSON, format}, {D::Format::PARA_JSON, format}});
        return importer.importDevice(Hvd::Weft::Components::QtResourceReader(":/N5Q2-Orvik.desc.json"));
    }();
    return description;
}

// Keeps the parameters of every write, values included.
class RecordingService : public FakeDeviceService
{
public:
    std::vector<ParameterList> writtenDevice;
    std::vector<ParameterList> writtenSubdevice;

    void write(const Communication::Device& dev, const ParameterList& deviceParameters,
               const ParameterList& subdeviceParameters, bool readBack) override
    {
        writtenDevice.push_back(deviceParameters);
        writtenSubdevice.push_back(subdeviceParameters);
        FakeDeviceService::write(dev, deviceParameters, subdeviceParameters, readBack);
    }
};

// The free area worked out from the textbook circular segment (sagitta h),
// independently of the command's own expression.
inline double geometricFreeArea(double diameter)
{
    const double pi = std::acos(-1.0);
    const double r = diameter / 2;
    const double halfChord = 0.02;
    const double h = r - std::sqrt(r * r - halfChord * halfChord);
    const double segment = r * r * std::acos((r - h) / r) - (r - h) * std::sqrt(2 * r * h - h * h);
    const double strip = 2 * halfChord * (0.033 - h);
    return pi * r * r - segment - strip;
}

// One rescaling command against a sensor with the given firmware versions.
struct Rescale
{
    explicit Rescale(QString version = "V02.11", QString subVersion = "V02.10")
    {
        context.setDevice(shippedDescription());
        connectSensor(std::move(version), std::move(subVersion));
        service.answerEveryParameter = true;
    }

    void connectSensor(QString version = "V02.11", QString subVersion = "V02.10")
    {
        context.setConnectedDevicePort("COM3", true, 300, 120);
        context.setConnectedDevice(sensor(orvikAddress, std::move(version), std::move(subVersion)));
    }

    void giveKFactor(const char* name, double value)
    {
        service.readSubdeviceValues = {ParameterSetting(name, Value(value, DataType::DFLOAT32))};
    }

    // Runs the command to its end; false if it did not end in time.
    bool run()
    {
        const int before = finished.count() + errors.count();
        command.execute();
        return QTest::qWaitFor([&] { return finished.count() + errors.count() > before; }, 2000);
    }

    QString errorText() const { return errors.isEmpty() ? QString() : errors.last().at(0).toString(); }

    DeviceContext context;
    RecordingService service;
    ParameterizeOrvikCommand command{context, service, nullptr};
    QSignalSpy finished{&command, &Hvd::Weft::Components::Command::finished};
    QSignalSpy errors{&command, &Hvd::Weft::Components::Command::errorOccurred};
    QSignalSpy texts{&command, qOverload<bool, const QString&, const QString&>(
                                   &ParameterizeOrvikCommand::parameterCalculated)};
    QSignalSpy numbers{
        &command, qOverload<bool, const QString&, double>(&ParameterizeOrvikCommand::parameterCalculated)};
    QSignalSpy values{&command, &ParameterizeOrvikCommand::valueCalculated};
};

} // namespace RescalingTest
