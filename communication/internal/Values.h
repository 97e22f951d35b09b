#pragma once

#include "communication/Address.h"
#include "communication/Device.h"
#include "communication/Slots.h"
#include "communication/VeltrixDeviceService.h"
#include "communication/internal/Default.h"
#include "communication/internal/Sequence.h"

#include <QList>
#include <QString>

#include <array>
#include <cstdint>

namespace Hvd::Weft::Communication::Internal
{

// Samples the sensor's live values (138 device, 139 burst, after the status
// texts of 140) a given number of times and reports every sample and either
// the list of them or one averaged sample.
class Values : public Default
{
    Q_OBJECT

public:
    enum State : int
    {
        Idle = 0,
        Accumulating = 2,
        FixedSamples = 3,
    };

    // Totals and extremes are kept for this many slot positions; further
    // variables of an answer are left out (and logged).
    static constexpr int slotPositions = 8;

    Values(QObject* parent, VELTRIX* facade, Port* port, ClosePortWhenFinished close,
           const VELTRIX_Timing& timing);

    bool isRunning() const { return state != Idle; }

    // Refused with an error while a run is in progress; false then.
    bool startReading(State state, Address::Type type, const Device& device,
                      VeltrixDeviceService::Type valueType, std::uint32_t samples, std::uint16_t skip);
    // The averaging of an accumulation; set after startReading.
    void setAveraging(std::uint8_t leadingSlotIndex, std::uint16_t topBotSamplesToRemove);

    void reset();
    void done();

signals:
    void newValue(Hvd::Weft::Communication::VeltrixDeviceService::Type t,
                  const Hvd::Weft::Communication::Slots& slot);
    void finishedFixedSamples(Hvd::Weft::Communication::VeltrixDeviceService::Type t,
                              const QList<Hvd::Weft::Communication::Slots>& slot);
    void finishedAccumulate(Hvd::Weft::Communication::VeltrixDeviceService::Type t,
                            const Hvd::Weft::Communication::Slots& slot);

public slots:
    void abort() override;
    void recieveStateMachine(VELTRIX_Session& session) override;

protected:
    bool isActive() const override { return state != Idle; }
    void resetRun() override { reset(); }

private:
    QString noResponseText() const override;
    void onStep() override;
    void gatherSample(const QMap<QString, QVariant>& map, Session::Command received);
    Slots average();

    int state = Idle;
    Sequences sequences;
    Device device;
    VeltrixDeviceService::Type valueType = VeltrixDeviceService::Type::Device;
    QList<QString> statusTexts;
    QList<Slots> samples;
    // Totals and extremes per variable, apart for device (138) and burst
    // (139) values: in a run of both, variable j of one is not that of the other.
    struct Extremes
    {
        std::array<float, slotPositions> sum{};
        std::array<float, slotPositions> min{};
        std::array<float, slotPositions> max{};
        void reset();
    };
    std::array<Extremes, 2> extremes;
    double progressRemainder = 0;
    std::uint16_t skip = 0;
    // Sample sessions still to send, and all sessions of the run.
    std::uint64_t sampleSessionsLeft = 0;
    double sessionCount = 1;
    int answerCount = 0;
    std::uint8_t leadingSlotIndex = 0;
    std::uint16_t topBotSamplesToRemove = 0;
    // The variable count of an answer beyond the slot positions, logged once per run.
    bool reportedLeftOut = false;
};

} // namespace Hvd::Weft::Communication::Internal
