#pragma once

#include "communication/Address.h"
#include "communication/BootloaderType.h"
#include "communication/Comport.h"
#include "communication/Device.h"
#include "communication/LogLevel.h"
#include "communication/Slots.h"
#include "device/Parameter.h"
#include "device/ParameterSetting.h"

#include <QMetaType>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

namespace Hvd::Weft::Communication
{

// The application's only door to a connected sensor. Slots start operations,
// signals report progress and exactly one outcome per accepted operation.
// Callers in other threads use queued connections only.
class DeviceService : public QObject
{
    Q_OBJECT

public:
    using ParameterList = std::vector<::Hvd::Weft::Device::Parameter>;
    using ParameterRefList = std::vector<std::reference_wrapper<const ::Hvd::Weft::Device::Parameter>>;
    using SettingList = std::vector<::Hvd::Weft::Device::ParameterSetting>;

    explicit DeviceService(QObject* parent = nullptr);
    ~DeviceService() override;

    // Registers every argument type of the signals and slots for queued
    // connections; safe to call repeatedly.
    static void registerMetaTypes();

    // A number no other request to this service carries; any thread.
    quint64 newRequestId() { return ++lastRequestId; }

signals:
    void error(const QString& err);
    void foundDevice(const Hvd::Weft::Communication::Device& dev);
    void log(Hvd::Weft::Communication::LogLevel level, const QString& entry);
    void progress(std::uint8_t percent);
    void successRestartDevice();
    void successSetCurrentAsFactoryDefaults();
    void successResetToFactoryDefaults();
    void successResetNvm();
    void successDisconnecting();
    void successReading(const Hvd::Weft::Communication::DeviceService::SettingList& deviceParameters,
                        const Hvd::Weft::Communication::DeviceService::SettingList& subdeviceParameters);
    // Also emitted at the very end of a read.
    void successWriting();
    void warning(const QString& warn);
    void finishedAccumulate(const Hvd::Weft::Communication::Slots& slot);
    void finishedFixedSamples(const QList<Hvd::Weft::Communication::Slots>& slot);
    void sampleReceived(const Hvd::Weft::Communication::Slots& slot);
    // The firmware upload ended with "Download successful"; the port is closed.
    void success();
    // The adapter's line was lost (pulled, hung up): what ran ends with
    // lineLostText(), and every operation but a new start is refused so.
    void lineLost();

    // Emitted first thing when the service takes up (or refuses) a request
    // tagged with tagNextRequest: every signal of that request follows it,
    // every signal of an earlier operation precedes it. A caller in another
    // thread listens to outcomes only from here on, so an answer that was
    // already on its way cannot end its request.
    void requestTaken(quint64 requestId);

public slots:
    // Tags the next request slot to arrive; send it from the same thread
    // right before that request.
    void tagNextRequest(quint64 requestId) { nextRequestId = requestId; }

    virtual void abort() = 0;
    virtual void start(const Hvd::Weft::Communication::Comport& comport, bool deviceIdentification) = 0;
    virtual void restartDevice(Hvd::Weft::Communication::Address::Type type,
                               const Hvd::Weft::Communication::Device& dev) = 0;
    virtual void setCurrentAsFactoryDefaults(Hvd::Weft::Communication::Address::Type type,
                                             const Hvd::Weft::Communication::Device& dev) = 0;
    virtual void resetToFactoryDefaults(Hvd::Weft::Communication::Address::Type type,
                                        const Hvd::Weft::Communication::Device& dev) = 0;
    virtual void write(const Hvd::Weft::Communication::Device& dev,
                       const Hvd::Weft::Communication::DeviceService::ParameterList& deviceParameters,
                       const Hvd::Weft::Communication::DeviceService::ParameterList& subdeviceParameters,
                       bool readBack = true) = 0;
    // Copies, as for write: the caller's parameters live in another thread
    // and may change or go while the read runs.
    virtual void read(const Hvd::Weft::Communication::Device& dev,
                      const Hvd::Weft::Communication::DeviceService::ParameterList& deviceParameters,
                      const Hvd::Weft::Communication::DeviceService::ParameterList& subdeviceParameters) = 0;
    // Measured values: `samples` answers of the sensor's live values after
    // its status texts. A fixed read reports each sample and then the list;
    // an accumulation ignores the first two answers and reports each sample
    // and then their average, optionally without the `topBotSamplesToRemove`
    // largest and smallest samples by slot `leadingSlotIndex`.
    virtual void readFixedBurstValues(Hvd::Weft::Communication::Address::Type type,
                                      const Hvd::Weft::Communication::Device& dev, std::uint32_t samples) = 0;
    virtual void accumulateBurstValues(Hvd::Weft::Communication::Address::Type type,
                                       const Hvd::Weft::Communication::Device& dev, std::uint32_t samples,
                                       std::uint8_t leadingSlotIndex = 0,
                                       std::uint16_t topBotSamplesToRemove = 0) = 0;
    virtual void readFixedDeviceValues(Hvd::Weft::Communication::Address::Type type,
                                       const Hvd::Weft::Communication::Device& dev,
                                       std::uint32_t samples) = 0;
    virtual void accumulateDeviceValues(Hvd::Weft::Communication::Address::Type type,
                                        const Hvd::Weft::Communication::Device& dev, std::uint32_t samples,
                                        std::uint8_t leadingSlotIndex = 0,
                                        std::uint16_t topBotSamplesToRemove = 0) = 0;
    virtual void readFixedDeviceAndBurstValues(Hvd::Weft::Communication::Address::Type type,
                                               const Hvd::Weft::Communication::Device& dev,
                                               std::uint32_t samples) = 0;
    // Starts the sensor's bootloader with command 133 (not in `rescueMode`,
    // where it already runs) and uploads the TI-TXT image `fileName`. Ends
    // with success() or error(); the port is closed then, after an error
    // only without `leavePortOpenOnError`.
    virtual void upload(Hvd::Weft::Communication::Address::Type type,
                        const Hvd::Weft::Communication::Device& dev,
                        Hvd::Weft::Communication::BootloaderType blType, const QString& fileName,
                        bool rescueMode, bool leavePortOpenOnError) = 0;
    // The port scanner no longer lists the port `number` (its adapter was
    // unplugged). Not a request: if the service holds that port, the line is
    // lost as on a hang-up; otherwise nothing happens.
    virtual void portVanished(const QString& number) = 0;

protected:
    // Every request slot calls this before it does anything else.
    void takeRequest()
    {
        if (nextRequestId == 0)
            return;
        const quint64 id = nextRequestId;
        nextRequestId = 0;
        emit requestTaken(id);
    }

private:
    std::atomic<quint64> lastRequestId{0};
    // Only touched in the service's own thread.
    quint64 nextRequestId = 0;
};

// Writes the service's log entries into the program log, from the service's
// own thread, at the level they carry.
void forwardLogToLogger(DeviceService& service);

} // namespace Hvd::Weft::Communication

Q_DECLARE_METATYPE(Hvd::Weft::Communication::DeviceService::ParameterList)
Q_DECLARE_METATYPE(Hvd::Weft::Communication::DeviceService::ParameterRefList)
Q_DECLARE_METATYPE(Hvd::Weft::Communication::DeviceService::SettingList)
