// The sensor's memory as the shipped description fills it.

#include "protocol/VELTRIX_Session.h"
#include "tools/orvik-sim/OrvikMemoryLayout.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <cstring>

using namespace Hvd::Weft::Simulator;

namespace
{

const Hvd::Weft::Device::Device& shipped()
{
    static const auto description = []
    {
        QString error;
        auto loaded = loadDescription({}, &error);
        EXPECT_TRUE(loaded) << error.toStdString();
        return loaded.value_or(Hvd::Weft::Device::Device());
    }();
    return description;
}

float floatAt(const QByteArray& image, int address)
{
    const quint32 bits = qFromLittleEndian<quint32>(image.constData() + address);
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

QByteArray text16(const char* text)
{
    QByteArray field(text);
    field.resize(16, '\0');
    return field;
}

} // namespace

TEST(OrvikMemoryLayout, DeviceMemoryHoldsTheDefaultsAndTheVariant)
{
    OrvikSensorConfig config;
    config.variant = "Orvik 3.068";
    QStringList notes;
    const MemoryLayout device = buildMemoryLayout(shipped(), Target::Device, config, &notes);
    EXPECT_TRUE(notes.isEmpty()) << notes.join("; ").toStdString();

    ASSERT_GE(device.initial.size(), 920);
    EXPECT_EQ(device.initial.size() % 256, 0);
    EXPECT_EQ(device.blank.mid(399, 16), text16("0"));
    EXPECT_EQ(device.initial.mid(399, 16), text16("Orvik 3.068"));
    EXPECT_FLOAT_EQ(floatAt(device.initial, 514), 100.0f) << "FlowMeasEnd";
    EXPECT_EQ(static_cast<unsigned char>(device.initial.at(505)), 1) << "FlowUnit";
    EXPECT_EQ(qFromLittleEndian<quint16>(device.initial.constData() + 117), 57870)
        << "Out1CalibrationValue10V";
    // Only the variant differs from the blank image.
    QByteArray withoutVariant = device.initial;
    withoutVariant.replace(399, 16, device.blank.mid(399, 16));
    EXPECT_EQ(withoutVariant, device.blank);
}

TEST(OrvikMemoryLayout, KFactorGoesWhereTheSubDeviceVersionKeepsIt)
{
    OrvikSensorConfig config;
    config.kfactor = 1.25;
    const MemoryLayout current = buildMemoryLayout(shipped(), Target::SubDevice, config, nullptr);
    EXPECT_FLOAT_EQ(floatAt(current.blank, 28), 1.0f);
    EXPECT_FLOAT_EQ(floatAt(current.initial, 28), 1.25f) << "measurement.setting.scaling.K0";
    EXPECT_FLOAT_EQ(floatAt(current.initial, 20), 5.0f) << "settings.range.fMeasEnd";

    config.subDevice.version = "V01.10";
    const MemoryLayout older = buildMemoryLayout(shipped(), Target::SubDevice, config, nullptr);
    EXPECT_FLOAT_EQ(floatAt(older.initial, 16), 1.25f) << "EE_AK";
    EXPECT_EQ(qFromLittleEndian<quint16>(older.initial.constData() + 0), 2327) << "EE_Anfang";

    config.kfactor.reset();
    EXPECT_EQ(buildMemoryLayout(shipped(), Target::SubDevice, config, nullptr).initial, older.blank);
}

TEST(OrvikMemoryLayout, AnUnknownVersionStartsAsZerosAndSaysSo)
{
    OrvikSensorConfig config;
    config.device.version = "V03.99";
    config.subDevice.version = "V00.00";
    QStringList notes;
    const MemoryLayout device = buildMemoryLayout(shipped(), Target::Device, config, &notes);
    const MemoryLayout sub = buildMemoryLayout(shipped(), Target::SubDevice, config, &notes);
    EXPECT_EQ(device.initial, QByteArray(device.initial.size(), '\0'));
    EXPECT_GE(device.initial.size(), 920) << "as large as the known layouts";
    EXPECT_EQ(sub.initial, QByteArray(256, '\0'));
    EXPECT_EQ(notes.size(), 2);

    // Such a sensor still identifies itself.
    OrvikSensor sensor = makeSensor(config, shipped(), nullptr);
    SensorRequest version{{19, 0, 4, 0, 0}, 135, VELTRIX_Session::standardLayoutForCommand("135")};
    EXPECT_EQ(sensor.handle(version).values.value("Version").toInt(), 3);
}

TEST(OrvikMemoryLayout, AMissingDescriptionFileIsReported)
{
    QString error;
    EXPECT_FALSE(loadDescription("/nonexistent/x.desc.json", &error));
    EXPECT_TRUE(error.contains("x.desc.json")) << error.toStdString();
}
