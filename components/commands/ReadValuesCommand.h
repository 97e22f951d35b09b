#pragma once

#include "communication/Slots.h"
#include "components/commands/SimpleConnectedDeviceCommand.h"

#include <QList>

#include <cstdint>
#include <optional>

namespace Hvd::Weft::Components
{

// Reads the connected sensor's live values: a number of samples, reported
// one by one as they arrive, and then either the list of them or, for an
// accumulation, their average.
class ReadValuesCommand : public SimpleConnectedDeviceCommand
{
    Q_OBJECT

public:
    enum class Source : std::uint8_t
    {
        Device,
        Burst,
        // Device and burst values, one sample of each per session; not averaged.
        Both,
    };

    struct Request
    {
        Source source = Source::Device;
        std::uint32_t samples = 1;
        bool average = false;
        // Only for an average: trims this many samples off each end, sorted
        // by the slot at this index (0 to 7).
        std::uint8_t leadingSlotIndex = 0;
        std::uint16_t topBotSamplesToRemove = 0;
    };

    ReadValuesCommand(ConnectedDeviceContext& context, Communication::DeviceService& service,
                      const Request& request, QObject* parent);

    QString getDescription() const override;

    const QList<Communication::Slots>& getSamples() const { return samples; }
    // The average, once an accumulation has finished.
    const std::optional<Communication::Slots>& getAverage() const { return average; }

Q_SIGNALS:
    void sampleReceived(const Hvd::Weft::Communication::Slots& sample);

protected:
    bool checkPreconditions() override;
    void doConnect() override;
    void doExecute() override;

private:
    Request request;
    QList<Communication::Slots> samples;
    std::optional<Communication::Slots> average;
};

} // namespace Hvd::Weft::Components
