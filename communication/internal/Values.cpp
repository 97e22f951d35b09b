#include "communication/internal/Values.h"

#include "protocol/VELTRIX_Keys.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Hvd::Weft::Communication::Internal
{

namespace
{

constexpr float minStart = 1e10f;
constexpr float maxStart = -1e10f;
constexpr int statusTextCount = 8;
// Room reserved up front at most; a longer run grows the list as it goes.
constexpr std::uint32_t maxReserved = 4096;

QList<Session::Command> sampleCommands(VeltrixDeviceService::Type type)
{
    switch (type)
    {
    case VeltrixDeviceService::Type::Burst:
        return {VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_139};
    case VeltrixDeviceService::Type::Device:
        return {VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_138};
    case VeltrixDeviceService::Type::Both:
        return {VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_138,
                VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_139};
    }
    return {};
}

Session::Data request(Session::Command command)
{
    return Session::Data{command, Session::getDefaultData(command)};
}

} // namespace

Values::Values(QObject* parent, VELTRIX* facade, Port* port, ClosePortWhenFinished close,
               const VELTRIX_Timing& timing)
    : Default(parent, facade, port, close, timing)
{
    for (Extremes& kept : extremes)
        kept.reset();
}

void Values::Extremes::reset()
{
    sum.fill(0);
    min.fill(minStart);
    max.fill(maxStart);
}

bool Values::startReading(State newState, Address::Type type, const Device& target,
                          VeltrixDeviceService::Type newValueType, std::uint32_t sampleCount,
                          std::uint16_t skipCount)
{
    if (isRunning())
    {
        const Message text = message(QT_TR_NOOP("Current operation not finished!"));
        logError(text.log);
        emit error(text.user);
        return false;
    }
    reset();
    state = newState;
    samples.reserve(static_cast<qsizetype>(std::min(sampleCount, maxReserved)));
    skip = skipCount;
    valueType = newValueType;

    // The plan: [140], then one sample session per sample and skipped
    // answer. The sample session is kept once and sent again, so that a
    // long run needs no more memory than a short one.
    sequences.clear();
    sequences.list.append(Sequence(type, request(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_140)));
    QList<Session::Data> sample;
    for (Session::Command command : sampleCommands(valueType))
        sample.append(request(command));
    sequences.list.append(Sequence(type, sample));
    sampleSessionsLeft = std::uint64_t{sampleCount} + skipCount;
    sessionCount = 1 + static_cast<double>(sampleSessionsLeft);
    device = target;

    session->startWith(device.address.asArray(type), sequences.list.front().items,
                       timing.values.startDelayMs);
    return true;
}

void Values::setAveraging(std::uint8_t leadingSlot, std::uint16_t trimmed)
{
    leadingSlotIndex = std::min<std::uint8_t>(leadingSlot, slotPositions - 1);
    topBotSamplesToRemove = trimmed;
}

void Values::reset()
{
    stepTimer.stop();
    setProgress(0);
    progressRemainder = 0;
    leadingSlotIndex = 0;
    topBotSamplesToRemove = 0;
    answerCount = 0;
    sampleSessionsLeft = 0;
    reportedLeftOut = false;
    session->stop();
    state = Idle;
    statusTexts.clear();
    samples.clear();
    for (Extremes& kept : extremes)
        kept.reset();
    incProgress(5);
}

void Values::recieveStateMachine(VELTRIX_Session& response)
{
    Sequence* sequence = sequences.running();
    if (sequence == nullptr)
        return;
    const auto answer = acceptedAnswer(response, *sequence);
    if (!answer)
        return;
    const QMap<QString, QVariant>& map = *answer;
    const Session::Command received = response.getCommand();

    progressRemainder += 95.0 / sessionCount;
    if (progressRemainder >= 1)
    {
        incProgress(static_cast<unsigned>(progressRemainder));
        progressRemainder = 0;
    }

    if (received == VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_140)
    {
        statusTexts.clear();
        for (int i = 1; i <= statusTextCount; ++i)
            statusTexts.append(map.value(VELTRIX_Keys::statusString(i)).toString());
        trace(QStringLiteral("Device responded to command 140"));
    }
    else
    {
        ++answerCount;
        if (answerCount > skip)
            gatherSample(map, received);
        trace(QStringLiteral("Device responded to command %1").arg(static_cast<int>(received)));
    }

    if (sequence->hasFurtherItem())
        ++sequence->current;
    else if (sampleSessionsLeft > 0)
        stepTimer.start(timing.values.stepDelayMs);
    else
    {
        setProgress(100);
        done();
    }
}

void Values::gatherSample(const QMap<QString, QVariant>& map, Session::Command received)
{
    using Keys = VELTRIX_Session;
    const auto deviceCommand = Keys::VELTRIX_ENUM_SESSION_COMMAND_138;
    const auto burstCommand = Keys::VELTRIX_ENUM_SESSION_COMMAND_139;
    const QString countKey = map.contains(VELTRIX_Keys::variableCount(deviceCommand))
                                 ? VELTRIX_Keys::variableCount(deviceCommand)
                                 : VELTRIX_Keys::variableCount(burstCommand);
    const auto names =
        map.contains(VELTRIX_Keys::variableUnit(deviceCommand, 1)) ? deviceCommand : burstCommand;

    int count = std::max(0, map.value(countKey).toInt());
    if (count > slotPositions)
    {
        // Only eight positions exist for totals and extremes; say so rather
        // than drop the rest unseen.
        if (!reportedLeftOut)
            emit log(LogLevel::Warning,
                     QStringLiteral("Device reports %1 variables; only the first %2 are read")
                         .arg(count)
                         .arg(slotPositions));
        reportedLeftOut = true;
        count = slotPositions;
    }

    Extremes& kept = extremes[received == burstCommand ? 1 : 0];
    auto& sum = kept.sum;
    auto& min = kept.min;
    auto& max = kept.max;
    QList<Slot> gathered;
    for (int j = 0; j < count; ++j)
    {
        Slot slot;
        slot.value = map.value(VELTRIX_Keys::variableValue(names, j + 1)).toFloat();
        slot.unit = static_cast<std::uint8_t>(map.value(VELTRIX_Keys::variableUnit(names, j + 1)).toUInt());
        if (slot.unit == Slot::unitLitre)
        {
            sum[j] += slot.value;
            slot.value = sum[j];
            min[j] = 0;
            max[j] = 0;
        }
        else
        {
            max[j] = std::max(max[j], slot.value);
            min[j] = std::min(min[j], slot.value);
        }
        slot.min = min[j];
        slot.max = max[j];
        gathered.append(slot);
    }
    const Slots sample(statusTexts, static_cast<std::uint8_t>(map.value(VELTRIX_Keys::statusHigh).toUInt()),
                       gathered);
    samples.append(sample);
    emit newValue(valueType, sample);
}

void Values::onStep()
{
    if (sampleSessionsLeft == 0)
    {
        setProgress(100);
        done();
        return;
    }
    --sampleSessionsLeft;
    sequences.index = 1;
    Sequence& next = sequences.list[1];
    next.current = 0;
    session->startWith(device.address.asArray(next.addressType), next.items, 0);
}

void Values::done()
{
    closePortIfWanted();
    const int finishedState = state;
    state = Idle;
    if (samples.isEmpty())
    {
        const Message text = message(QT_TR_NOOP("Didn`t find any data points in device value read out!"));
        logError(text.log);
        emit error(text.user);
        return;
    }
    if (finishedState == FixedSamples)
        emit finishedFixedSamples(valueType, samples);
    else
        emit finishedAccumulate(valueType, average());
}

Slots Values::average()
{
    // The totaliser and the extremes of the run are those of the latest
    // sample; sorting must not make an earlier one stand for the run.
    const Slots latest = samples.last();
    QList<Slots> kept = samples;
    const qsizetype trimmed = topBotSamplesToRemove;
    if (trimmed != 0 && 2 * trimmed < kept.size())
    {
        const qsizetype leading = leadingSlotIndex;
        const bool everySampleHasIt = std::all_of(
            kept.cbegin(), kept.cend(), [leading](const Slots& s) { return leading < s.slotList.size(); });
        if (everySampleHasIt)
        {
            std::stable_sort(kept.begin(), kept.end(),
                             [leading](const Slots& a, const Slots& b)
                             { return a.slotList.at(leading).value > b.slotList.at(leading).value; });
            kept.remove(kept.size() - trimmed, trimmed);
            kept.remove(0, trimmed);
        }
        else
        {
            emit log(LogLevel::Warning,
                     QStringLiteral("Slot %1 is missing in some samples; all samples are averaged")
                         .arg(leading + 1));
        }
    }

    Slots result = kept.front();
    QList<int> counts(result.slotList.size(), 1);
    for (qsizetype i = 1; i < kept.size(); ++i)
    {
        const QList<Slot>& further = kept.at(i).slotList;
        for (qsizetype p = 0; p < std::min(result.slotList.size(), further.size()); ++p)
        {
            if (further.at(p).unit != Slot::unitLitre)
            {
                result.slotList[p].value += further.at(p).value;
                ++counts[p];
            }
        }
    }
    for (qsizetype p = 0; p < result.slotList.size(); ++p)
    {
        Slot& slot = result.slotList[p];
        if (p < latest.slotList.size())
        {
            slot.min = latest.slotList.at(p).min;
            slot.max = latest.slotList.at(p).max;
            if (slot.unit == Slot::unitLitre)
                slot.value = latest.slotList.at(p).value;
        }
        if (slot.unit != Slot::unitLitre)
            slot.value /= static_cast<float>(counts.at(p));
    }
    return result;
}

QString Values::noResponseText() const
{
    return tr("Device didn`t respond -> timeout! !");
}

void Values::abort()
{
    abortRun(LogLevel::Trace);
}

} // namespace Hvd::Weft::Communication::Internal
