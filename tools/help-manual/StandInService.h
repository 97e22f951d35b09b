#pragma once

#include "communication/DeviceService.h"

#include <atomic>

// Answers the window's requests the way a healthy sensor on a working line
// does, from whatever thread it lives in, so that the real window can be
// driven through a complete rescale without hardware. It can hold the
// write open (the window then shows a rescale in progress) and can report a
// sensor of another kind.
class StandInService : public Hvd::Weft::Communication::DeviceService
{
    Q_OBJECT

public:
    static constexpr const char* variantName = "Orvik 82.5";

    // Set from the window's thread before the request they affect is sent.
    std::atomic<bool> holdWrite{false};
    std::atomic<bool> foreignSensor{false};
    // True while a held write waits for releaseWrite().
    std::atomic<bool> writeHeld{false};

    // Ends a held write successfully; any thread.
    void releaseWrite();

    void abort() override;
    void start(const Hvd::Weft::Communication::Comport& comport, bool deviceIdentification) override;
    void restartDevice(Hvd::Weft::Communication::Address::Type type,
                       const Hvd::Weft::Communication::Device& dev) override;
    void setCurrentAsFactoryDefaults(Hvd::Weft::Communication::Address::Type type,
                                     const Hvd::Weft::Communication::Device& dev) override;
    void resetToFactoryDefaults(Hvd::Weft::Communication::Address::Type type,
                                const Hvd::Weft::Communication::Device& dev) override;
    void write(const Hvd::Weft::Communication::Device& dev, const ParameterList& deviceParameters,
               const ParameterList& subdeviceParameters, bool readBack) override;
    void read(const Hvd::Weft::Communication::Device& dev, const ParameterList& deviceParameters,
              const ParameterList& subdeviceParameters) override;
    // Measured values and uploads are not part of the window's work.
    void readFixedBurstValues(Hvd::Weft::Communication::Address::Type type,
                              const Hvd::Weft::Communication::Device& dev, std::uint32_t samples) override;
    void accumulateBurstValues(Hvd::Weft::Communication::Address::Type type,
                               const Hvd::Weft::Communication::Device& dev, std::uint32_t samples,
                               std::uint8_t leadingSlotIndex, std::uint16_t topBotSamplesToRemove) override;
    void readFixedDeviceValues(Hvd::Weft::Communication::Address::Type type,
                               const Hvd::Weft::Communication::Device& dev, std::uint32_t samples) override;
    void accumulateDeviceValues(Hvd::Weft::Communication::Address::Type type,
                                const Hvd::Weft::Communication::Device& dev, std::uint32_t samples,
                                std::uint8_t leadingSlotIndex, std::uint16_t topBotSamplesToRemove) override;
    void readFixedDeviceAndBurstValues(Hvd::Weft::Communication::Address::Type type,
                                       const Hvd::Weft::Communication::Device& dev,
                                       std::uint32_t samples) override;
    void upload(Hvd::Weft::Communication::Address::Type type, const Hvd::Weft::Communication::Device& dev,
                Hvd::Weft::Communication::BootloaderType blType, const QString& fileName, bool rescueMode,
                bool leavePortOpenOnError) override;
    // It holds no port, so none can vanish under it.
    void portVanished(const QString&) override {}

private:
    void refuse();
    template <typename Answer> void later(Answer answer);
};
