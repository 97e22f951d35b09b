#pragma once

#include "communication_test_support.h"

#include "communication/VeltrixDeviceService.h"
#include "communication/internal/VeltrixDeviceServiceAccess.h"
#include "protocol/serial/FQtSerialPortBackend.h"
#include "tests/support/pace.h"
#include "tools/orvik-sim/OrvikSimulatorFixture.h"

#include <QFile>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <utility>

namespace CommTest
{

using namespace Hvd::Weft::Communication;
namespace Sim = Hvd::Weft::Simulator;

// Records, in the test thread, everything a device service reports.
// Outcome signals are the ones that end an operation.
class OutcomeSpy : public QObject
{
public:
    explicit OutcomeSpy(DeviceService* service)
    {
        const auto outcome = [this](const char* name) { return [this, name] { record(name, true); }; };
        connect(service, &DeviceService::error, this,
                [this](const QString& text)
                {
                    errors.append(text);
                    record("error", true);
                });
        connect(service, &DeviceService::foundDevice, this,
                [this](const Device& device)
                {
                    devices.append(device);
                    record("foundDevice", true);
                });
        connect(service, &DeviceService::successReading, this,
                [this](const DeviceService::SettingList& device, const DeviceService::SettingList& sub)
                {
                    reads.append({device, sub});
                    record("successReading", true);
                });
        connect(service, &DeviceService::successRestartDevice, this, outcome("successRestartDevice"));
        connect(service, &DeviceService::successSetCurrentAsFactoryDefaults, this,
                outcome("successSetCurrentAsFactoryDefaults"));
        connect(service, &DeviceService::successResetToFactoryDefaults, this,
                outcome("successResetToFactoryDefaults"));
        connect(service, &DeviceService::successResetNvm, this, outcome("successResetNvm"));
        connect(service, &DeviceService::successDisconnecting, this, outcome("successDisconnecting"));
        connect(service, &DeviceService::success, this, outcome("success"));
        connect(service, &DeviceService::finishedAccumulate, this,
                [this](const Slots& slot)
                {
                    accumulated.append(slot);
                    record("finishedAccumulate", true);
                });
        connect(service, &DeviceService::finishedFixedSamples, this,
                [this](const QList<Slots>& list)
                {
                    fixedSamples.append(list);
                    record("finishedFixedSamples", true);
                });
        connect(service, &DeviceService::sampleReceived, this,
                [this](const Slots& slot)
                {
                    samples.append(slot);
                    record("sampleReceived", false);
                });
        connect(service, &DeviceService::successWriting, this, outcome("successWriting"));
        connect(service, &DeviceService::progress, this,
                [this](std::uint8_t percent)
                {
                    progress.append(percent);
                    record(QStringLiteral("progress(%1)").arg(percent), false);
                });
        connect(service, &DeviceService::warning, this,
                [this](const QString& text)
                {
                    warnings.append(text);
                    record("warning", false);
                });
        connect(service, &DeviceService::log, this,
                [this](LogLevel level, const QString& entry) {
                    logs.append({level, entry});
                });
    }

    bool waitForOutcomes(int count, int timeoutMs = 20000)
    {
        return waitUntil([&] { return outcomes.size() >= count; }, timeoutMs);
    }

    // Waits for the outcomes, then a little longer to catch any extra one.
    ::testing::AssertionResult expectOutcomes(const QStringList& expected, int timeoutMs = 20000)
    {
        waitForOutcomes(static_cast<int>(expected.size()), timeoutMs);
        settle(300);
        if (outcomes == expected)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "outcomes: " << outcomes.join(", ").toStdString()
                                             << "\nerrors: " << errors.join(" | ").toStdString()
                                             << "\nevents: " << events.join(", ").toStdString() << "\nlog:\n"
                                             << logText().toStdString();
    }

    bool logged(const QString& text) const { return logCount(text) > 0; }
    QString logText() const
    {
        QString text;
        for (const auto& [level, entry] : logs)
            text += QStringLiteral("  %1 %2\n").arg(static_cast<int>(level)).arg(entry);
        return text;
    }
    int logCount(const QString& text) const
    {
        int count = 0;
        for (const auto& [level, entry] : logs)
            count += entry == text ? 1 : 0;
        return count;
    }
    bool loggedAt(LogLevel wanted, const QString& text) const
    {
        for (const auto& [level, entry] : logs)
        {
            if (level == wanted && entry == text)
                return true;
        }
        return false;
    }

    void clear()
    {
        outcomes.clear();
        events.clear();
        errors.clear();
        warnings.clear();
        devices.clear();
        reads.clear();
        accumulated.clear();
        fixedSamples.clear();
        samples.clear();
        progress.clear();
        logs.clear();
    }

    QStringList outcomes;
    // Outcomes, progress and warnings in arrival order.
    QStringList events;
    QStringList errors;
    QStringList warnings;
    QList<Device> devices;
    QList<std::pair<DeviceService::SettingList, DeviceService::SettingList>> reads;
    QList<Slots> accumulated;
    QList<QList<Slots>> fixedSamples;
    QList<Slots> samples;
    QList<unsigned> progress;
    QList<std::pair<LogLevel, QString>> logs;

private:
    void record(const QString& name, bool isOutcome)
    {
        events.append(name);
        if (isOutcome)
            outcomes.append(name);
    }
};

// A device service in its own "DeviceThread", driven from the test thread
// through queued calls as the application does.
class ServiceHarness
{
public:
    explicit ServiceHarness(const VELTRIX_Timing& timing = TestSupport::testTiming(),
                            VELTRIX_Options options = ptyOptions())
        : service(std::make_unique<VeltrixDeviceService>(withTiming(std::move(options), timing)))
        , spy(service.get())
    {
        thread.setObjectName(QStringLiteral("DeviceThread"));
        service->moveToThread(&thread);
        thread.start(QThread::InheritPriority);
    }

    // The real serial port, which on a pseudo-terminal has no modem lines to set.
    static VELTRIX_Options ptyOptions()
    {
        VELTRIX_Options options;
        options.backendFactory = []
        { return std::make_unique<FQtSerialPortBackend>(FQtSerialPortBackend::ModemLines::TolerateMissing); };
        return options;
    }

    static VELTRIX_Options withTiming(VELTRIX_Options options, const VELTRIX_Timing& timing)
    {
        options.timing = timing;
        return options;
    }

    ~ServiceHarness()
    {
        thread.quit();
        thread.wait();
    }

    // Runs f(service) in the device thread.
    template <typename F> void call(F&& f)
    {
        VeltrixDeviceService* target = service.get();
        QMetaObject::invokeMethod(
            target, [target, f = std::forward<F>(f)]() mutable { f(*target); }, Qt::QueuedConnection);
    }

    // Runs f(service) in the device thread and waits for it.
    template <typename F> void callAndWait(F&& f)
    {
        VeltrixDeviceService* target = service.get();
        QMetaObject::invokeMethod(
            target, [target, f = std::forward<F>(f)]() mutable { f(*target); }, Qt::BlockingQueuedConnection);
    }

    // Connects and (unless told not to) identifies the sensor; a default
    // device on failure.
    Device connectTo(const Comport& port, bool identify = true)
    {
        const qsizetype before = spy.devices.size();
        call([port, identify](VeltrixDeviceService& s) { s.start(port, identify); });
        const bool found = spy.waitForOutcomes(static_cast<int>(spy.outcomes.size()) + 1);
        EXPECT_TRUE(found && spy.devices.size() > before) << spy.errors.join(" | ").toStdString() << "\n"
                                                          << spy.logText().toStdString();
        return spy.devices.size() > before ? spy.devices.last() : Device{};
    }

    QThread thread;
    std::unique_ptr<VeltrixDeviceService> service;
    OutcomeSpy spy;
};

// The sensor's variant name, to read or (with a text) to write.
inline DeviceService::ParameterList variantList(const char* text = nullptr)
{
    auto parameter = makeParameter("ProductVariantName", ::Hvd::Weft::Device::DataType::ARRSTRING, 16, 399,
                                   ::Hvd::Weft::Device::Value("0"));
    if (text != nullptr)
        parameter.setCurrentValue(::Hvd::Weft::Device::Value(text));
    return {parameter};
}

// A TI-TXT file in `dir`: the address marker, sixteen bytes a line, the end marker.
inline QString writeImage(const QTemporaryDir& dir, std::uint32_t address, const QByteArray& bytes,
                          const char* name = "image.txt")
{
    QByteArray text = "@" + QByteArray::number(address, 16).toUpper() + "\n";
    for (qsizetype i = 0; i < bytes.size(); i += 16)
        text += bytes.mid(i, 16).toHex(' ').toUpper() + "\n";
    QFile file(dir.filePath(QLatin1String(name)));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text + "q\n");
    return file.fileName();
}

// The line of a simulated sensor as the shipped description declares it.
inline Comport linePort(const Sim::OrvikSimulatorFixture& fixture)
{
    return Comport{fixture.devicePath(), QString(), 0, 0, true, 215, 300};
}

} // namespace CommTest
