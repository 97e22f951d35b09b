#pragma once

#include "bootloader/Bootloader.h"
#include "communication/DeviceService.h"
#include "communication/internal/Chunks.h"
#include "communication/internal/Port.h"
#include "communication/internal/Session.h"
#include "protocol/VELTRIX.h"

#include <QByteArray>

#include <optional>

namespace Hvd::Weft::Communication
{

namespace Internal
{
class FirstContact;
class Parameter;
class SysCommand;
class Values;
class Bootloader;
} // namespace Internal

// The device service over the VELTRIX protocol stack. Create it without a
// parent, move it into its own thread ("DeviceThread") and call it through
// queued connections only; every object it owns lives in that thread.
class VeltrixDeviceService : public DeviceService
{
    Q_OBJECT

public:
    // The commands of one sample of measured values.
    enum class Type : std::uint8_t
    {
        Burst = 0,  // 139
        Device = 1, // 138
        Both = 2,   // 138 and 139 in one session
    };
    Q_ENUM(Type)

    // Every wait of the service and the stack below it comes from `options.timing`.
    explicit VeltrixDeviceService(const VELTRIX_Options& options = VELTRIX_Options());
    ~VeltrixDeviceService() override;

    // The protocol options for a real serial port that forgive a port without
    // modem lines (a pseudo-terminal such as the simulated sensor), while a
    // real adapter's refused DTR/RTS change is still reported.
    static VELTRIX_Options serialPortOptions(const VELTRIX_Timing& timing = timingFromEnvironment());

    // The protocol's timing, with its delays scaled by the factor in
    // ORVIK_TIME_SCALE when that is set: rehearsing against the simulated
    // sensor, which takes the same factor, goes faster.
    static VELTRIX_Timing timingFromEnvironment();
    static constexpr const char* timeScaleVariable = "ORVIK_TIME_SCALE";

    // The message for a lost line, in the user's language.
    static QString lineLostText();

public slots:
    void abort() override;
    void start(const Hvd::Weft::Communication::Comport& comport, bool deviceIdentification) override;
    void restartDevice(Hvd::Weft::Communication::Address::Type type,
                       const Hvd::Weft::Communication::Device& dev) override;
    void setCurrentAsFactoryDefaults(Hvd::Weft::Communication::Address::Type type,
                                     const Hvd::Weft::Communication::Device& dev) override;
    void resetToFactoryDefaults(Hvd::Weft::Communication::Address::Type type,
                                const Hvd::Weft::Communication::Device& dev) override;
    void write(const Hvd::Weft::Communication::Device& dev,
               const Hvd::Weft::Communication::DeviceService::ParameterList& deviceParameters,
               const Hvd::Weft::Communication::DeviceService::ParameterList& subdeviceParameters,
               bool readBack = true) override;
    void read(const Hvd::Weft::Communication::Device& dev,
              const Hvd::Weft::Communication::DeviceService::ParameterList& deviceParameters,
              const Hvd::Weft::Communication::DeviceService::ParameterList& subdeviceParameters) override;

    void readFixedBurstValues(Hvd::Weft::Communication::Address::Type type,
                              const Hvd::Weft::Communication::Device& dev, std::uint32_t samples) override;
    void accumulateBurstValues(Hvd::Weft::Communication::Address::Type type,
                               const Hvd::Weft::Communication::Device& dev, std::uint32_t samples,
                               std::uint8_t leadingSlotIndex = 0,
                               std::uint16_t topBotSamplesToRemove = 0) override;
    void readFixedDeviceValues(Hvd::Weft::Communication::Address::Type type,
                               const Hvd::Weft::Communication::Device& dev, std::uint32_t samples) override;
    void accumulateDeviceValues(Hvd::Weft::Communication::Address::Type type,
                                const Hvd::Weft::Communication::Device& dev, std::uint32_t samples,
                                std::uint8_t leadingSlotIndex = 0,
                                std::uint16_t topBotSamplesToRemove = 0) override;
    void readFixedDeviceAndBurstValues(Hvd::Weft::Communication::Address::Type type,
                                       const Hvd::Weft::Communication::Device& dev,
                                       std::uint32_t samples) override;
    void upload(Hvd::Weft::Communication::Address::Type type, const Hvd::Weft::Communication::Device& dev,
                Hvd::Weft::Communication::BootloaderType blType, const QString& fileName, bool rescueMode,
                bool leavePortOpenOnError) override;
    void portVanished(const QString& number) override;

private:
    // Tests and benchmarks look at the owned parts through it.
    friend struct VeltrixDeviceServiceAccess;

    // Device runs, then sub-device runs, in chunks of at most 50 bytes;
    // nothing when both lists are empty. Sorts both lists in place.
    static std::optional<Internal::Chunks<50>> getCombinedChunks(const Device& device,
                                                                 ParameterRefList& deviceParameters,
                                                                 ParameterRefList& subdeviceParameters);
    // Decodes the bytes of a finished read onto the stored parameter lists.
    void parseReadData(const QByteArray& data);
    // True while any sequence holds the line: first contact, a system
    // command, a parameter transfer, a measured-value run or an upload.
    bool isBusy() const;
    // Refuses a request while another operation holds the line: two
    // operations on one half-duplex line would take each other's answers.
    // After a lost line everything but a new start is refused at once.
    bool refuseWhileBusy();
    void onLineLost();
    void onTransferError(const QString& text);
    void clearReadLists();
    void readValues(int state, Address::Type type, const Device& dev, Type valueType, std::uint32_t samples,
                    std::uint8_t leadingSlotIndex, std::uint16_t topBotSamplesToRemove);
    // "Device status: 0x24 (A, B)" for a sample with active status bits, else empty.
    static QString statusWarning(const Slots& slot);

    // The read in progress: the service's own copies, and references into
    // them sorted by address for decoding.
    ParameterList readDeviceCopies;
    ParameterList readSubdeviceCopies;
    ParameterRefList deviceParameters;
    ParameterRefList subdeviceParameters;
    VELTRIX* facade;
    Internal::Port* port;
    Internal::FirstContact* firstContact;
    Internal::SysCommand* sysCommand;
    Internal::Parameter* parameter;
    Internal::Values* values;
    Internal::Bootloader* bootloader;
    // Set when the line is lost, until the next start.
    bool lineGone = false;
};

} // namespace Hvd::Weft::Communication
