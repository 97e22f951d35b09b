#include "tools/orvik-sim/OrvikSensor.h"

#include "protocol/VELTRIX_AppCodec.h"
#include "protocol/VELTRIX_Frame.h"
#include "protocol/VELTRIX_Keys.h"
#include "protocol/VELTRIX_Session.h"

#include <QJsonArray>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace Hvd::Weft::Simulator
{

namespace
{

constexpr int iCommandAddress = 137;

// Status texts of command 140: the level digit, then the text.
constexpr std::array<const char*, 8> kStatusTexts{
    "2Flow too high", "2Flow too low", "1Temp too high", "1Empty pipe",
    "3Coil error",    "3Memory error", "1Simulation on", "2Out overflow",
};

// Unit codes of the live values.
constexpr int iUnitBar = 7;
constexpr int iUnitLitrePerMinute = 17;
constexpr int iUnitCelsius = 32;
constexpr int iUnitLitre = 41;
// Variables the application layer puts into one answer.
constexpr int iMaxEncodedVariables = 8;

QMap<QString, QVariant> standardMap(int command)
{
    return VELTRIX_Session::standardLayoutForCommand(QString::number(command));
}

bool isBroadcast(const BusAddress& address)
{
    return std::all_of(address.begin(), address.end(), [](std::uint8_t b) { return b == 0; });
}

QJsonArray addressJson(const BusAddress& address)
{
    QJsonArray bytes;
    for (std::uint8_t b : address)
        bytes.append(static_cast<int>(b));
    return bytes;
}

// Runs of bytes that differ from the reference, as {address, bytes}.
QJsonArray differences(const QByteArray& now, const QByteArray& reference)
{
    QJsonArray runs;
    int start = -1;
    const int size = static_cast<int>(now.size());
    for (int i = 0; i <= size; ++i)
    {
        const bool differs = i < size && (i >= reference.size() || now.at(i) != reference.at(i));
        if (differs && start < 0)
            start = i;
        if (!differs && start >= 0)
        {
            runs.append(QJsonObject{{"address", start},
                                    {"bytes", QString::fromLatin1(now.mid(start, i - start).toHex())}});
            start = -1;
        }
    }
    return runs;
}

} // namespace

const char* targetName(Target target)
{
    return target == Target::Device ? "device" : "sub";
}

const char* systemCommandName(int code)
{
    switch (code)
    {
    case 0:
        return "SetCurrentAsFactoryDefaults";
    case 1:
        return "ResetToFactoryDefaults";
    case 2:
        return "ResetNvm";
    case 3:
        return "RestartDevice";
    default:
        return "Unknown";
    }
}

OrvikSensor::OrvikSensor(OrvikSensorConfig config, MemoryLayout device, MemoryLayout subDevice)
    : mConfig(std::move(config))
{
    auto fill = [](Part& part, const MemoryLayout& layout)
    {
        part.memory.blank = layout.blank;
        part.memory.nvm = layout.initial;
        part.memory.working = layout.initial;
        part.memory.factory = layout.initial;
    };
    fill(mDevice, device);
    fill(mSubDevice, subDevice);
    if (mConfig.bootloader.family != BootloaderFamily::None)
        mLoader.emplace(mConfig.bootloader);
    if (mLoader && mConfig.bootloader.startInLoader)
        enterBootloader();
}

void OrvikSensor::enterBootloader()
{
    mInLoader = true;
    mLoader->enter();
}

void OrvikSensor::leaveBootloader()
{
    mInLoader = false;
    mBaudrate = initialBaudrate;
    ++mRestarts;
}

QByteArray OrvikSensor::bootloaderReceive(const QByteArray& bytes)
{
    if (!mInLoader)
        return {};
    const QByteArray answer = mLoader->receive(bytes);
    if (mLoader->leaving())
        leaveBootloader();
    return answer;
}

void OrvikSensor::clearFaults()
{
    mConfig.faults.clear();
    mConfig.bootloader.clearFaults();
    if (mLoader)
        mLoader->clearFaults();
}

void OrvikSensor::powerUp()
{
    mBaudrate = initialBaudrate;
    if (!mInLoader)
        return;
    // A sensor whose application no longer runs stays in its loader until
    // a transfer has completed; any other starts its application.
    if (mConfig.bootloader.startInLoader && !mLoader->completed())
        mLoader->enter();
    else
        leaveBootloader();
}

PartMemory& OrvikSensor::part(Target target)
{
    return target == Target::Device ? mDevice.memory : mSubDevice.memory;
}

const PartMemory& OrvikSensor::part(Target target) const
{
    return target == Target::Device ? mDevice.memory : mSubDevice.memory;
}

const PartIdentity& OrvikSensor::identity(Target target) const
{
    return target == Target::Device ? mConfig.device : mConfig.subDevice;
}

bool OrvikSensor::hasSubDevice() const
{
    return mConfig.address[3] != 0 || mConfig.address[4] != 0;
}

std::optional<Target> OrvikSensor::route(const BusAddress& address) const
{
    const BusAddress& own = mConfig.address;
    if (isBroadcast(address) || address[0] != own[0])
        return std::nullopt;
    const bool slaveMatches = address[1] == own[1] && address[2] == own[2];
    const bool subMatches = address[3] == own[3] && address[4] == own[4];
    const bool slaveZero = address[1] == 0 && address[2] == 0;
    const bool subZero = address[3] == 0 && address[4] == 0;
    const bool ownHasSlave = own[1] != 0 || own[2] != 0;

    // The full address reaches the sub device behind the device.
    if (slaveMatches && subMatches)
        return hasSubDevice() ? Target::SubDevice : Target::Device;
    if (ownHasSlave && slaveMatches && subZero)
        return Target::Device;
    if (hasSubDevice() && slaveZero && subMatches)
        return Target::SubDevice;
    return std::nullopt;
}

bool OrvikSensor::strike(Fault::Kind kind, int command)
{
    for (Fault& fault : mConfig.faults)
    {
        if (fault.kind != kind || fault.key != command || fault.times == 0)
            continue;
        if (fault.times > 0)
            --fault.times;
        return true;
    }
    return false;
}

bool OrvikSensor::strikeReadback(Target target, int address, int length, int* hit)
{
    for (Fault& fault : mConfig.faults)
    {
        if (fault.kind != Fault::Kind::ReadbackMismatch || fault.times == 0)
            continue;
        if (fault.target && *fault.target != target)
            continue;
        if (fault.key < address || fault.key >= address + length)
            continue;
        if (fault.times > 0)
            --fault.times;
        *hit = fault.key;
        return true;
    }
    return false;
}

bool OrvikSensor::writeNvm(Target target, int address, const QByteArray& bytes)
{
    PartMemory& memory = part(target);
    if (address < 0 || address + bytes.size() > memory.nvm.size())
        return false;
    memory.nvm.replace(address, bytes.size(), bytes);
    return true;
}

SensorReply OrvikSensor::handle(const SensorRequest& request)
{
    SensorReply reply;
    reply.target = route(request.address);
    if (!reply.target && isBroadcast(request.address) && request.command == iCommandAddress)
        reply.target = Target::Device;
    if (!reply.target)
    {
        // Meant for someone else: refused as well, so that nothing here
        // switches the rate or starts burst frames for it.
        reply.address = request.address;
        reply.values = standardMap(request.command);
        reply.values.insert(VELTRIX_Keys::statusLow, iStatusRefused);
        reply.wire = WireFault::Silent;
        return reply;
    }
    const Target target = *reply.target;
    reply.addressed = true;
    ++mRequests[request.command];
    ++mRequestTotal;
    reply.address = request.command == iCommandAddress ? mConfig.address : request.address;

    QMap<QString, QVariant>& answer = reply.values;
    answer = standardMap(request.command);
    answer.insert(VELTRIX_Keys::statusHigh, mConfig.status);
    answer.insert(VELTRIX_Keys::statusLow, 0);

    const auto recordUnexecuted = [&]
    {
        if (request.command == 143)
            mSystemCommands.append(
                {target, request.values.value(VELTRIX_Keys::systemcommand).toInt(), false});
    };

    // A sensor that does not answer has not heard the request either; a
    // refused status keeps the slave layer from switching rate or burst.
    if ((mConfig.dropAfter && mAnswers >= *mConfig.dropAfter) || strike(Fault::Kind::Silent, request.command))
    {
        answer.insert(VELTRIX_Keys::statusLow, iStatusRefused);
        reply.wire = WireFault::Silent;
        recordUnexecuted();
        return reply;
    }

    // A request of the wrong length is refused by the application layer itself.
    const bool decoded = request.values.value(VELTRIX_Keys::universalError).toInt() == 0;
    if (!decoded || strike(Fault::Kind::Nak, request.command))
    {
        answer.insert(VELTRIX_Keys::statusLow, iStatusRefused);
        recordUnexecuted();
    }
    else
    {
        execute(target, request, answer);
        reply.extraVariables = std::exchange(mExtraVariables, {});
    }

    if (strike(Fault::Kind::WrongCommand, request.command))
        reply.wire = WireFault::WrongCommand;
    else if (strike(Fault::Kind::BadChecksum, request.command))
        reply.wire = WireFault::BadChecksum;
    else if (strike(Fault::Kind::FewPreambles, request.command))
        reply.wire = WireFault::FewPreambles;
    ++mAnswers;
    return reply;
}

void OrvikSensor::execute(Target target, const SensorRequest& request, QMap<QString, QVariant>& answer)
{
    switch (request.command)
    {
    case 128:
        answer.insert(VELTRIX_Keys::baudrateBitmask, mConfig.baudMask);
        break;
    case 129:
        switchBaudrate(request, answer);
        break;
    case 130:
        read(target, request, answer);
        break;
    case 131:
        write(target, request, answer);
        break;
    case 132:
        part(target).working = part(target).nvm;
        break;
    case 133:
        // The loader takes the line once this answer has left; the master
        // sends nothing before it has heard the answer.
        if (mLoader)
            enterBootloader();
        break;
    case 137:
    case 142:
        // 137 answers with its address in the frame header; 142 starts
        // burst frames in the application layer.
        break;
    case 135:
    {
        const auto version = parseVersion(identity(target).version).value_or(std::pair{0, 0});
        answer.insert(VELTRIX_Keys::version, version.first);
        answer.insert(VELTRIX_Keys::subversion, version.second);
        break;
    }
    case 136:
    {
        const auto revision = parseRevision(identity(target).revision).value_or(std::array{0, 0, 0});
        answer.insert(VELTRIX_Keys::revisionYear, revision[0]);
        answer.insert(VELTRIX_Keys::revisionMonth, revision[1]);
        answer.insert(VELTRIX_Keys::revisionDay, revision[2]);
        break;
    }
    case 138:
    case 139:
        mExtraVariables = fillVariables(target, request.command, answer);
        break;
    case 140:
        for (int i = 0; i < static_cast<int>(kStatusTexts.size()); ++i)
            answer.insert(VELTRIX_Keys::statusString(i + 1), QString::fromLatin1(kStatusTexts[i]));
        break;
    case 141:
        answer.insert(VELTRIX_Keys::devicetypestring, identity(target).name);
        break;
    case 143:
        systemCommand(target, request, answer);
        break;
    default:
        // 134 (diagnostics) is not offered by this sensor.
        answer.insert(VELTRIX_Keys::statusLow, iStatusUnsupported);
        break;
    }
}

void OrvikSensor::read(Target target, const SensorRequest& request, QMap<QString, QVariant>& answer)
{
    const int address = request.values.value(VELTRIX_Keys::address).toInt();
    const int length = request.values.value(VELTRIX_Keys::bytesToRead).toInt();
    const QByteArray& nvm = part(target).nvm;
    if (address + length > nvm.size())
    {
        answer.insert(VELTRIX_Keys::statusLow, iStatusOutOfRange);
        return;
    }
    QByteArray bytes = nvm.mid(address, length);
    int hit = 0;
    if (strikeReadback(target, address, length, &hit))
        bytes[hit - address] = static_cast<char>(~static_cast<unsigned char>(bytes.at(hit - address)));
    answer.insert(VELTRIX_Keys::bytes, bytes);
}

void OrvikSensor::write(Target target, const SensorRequest& request, QMap<QString, QVariant>& answer)
{
    const int address = request.values.value(VELTRIX_Keys::address).toInt();
    const QByteArray bytes = request.values.value(VELTRIX_Keys::bytes).toByteArray();
    if (bytes.size() != request.values.value(VELTRIX_Keys::bytesToWrite).toInt() ||
        !writeNvm(target, address, bytes))
        answer.insert(VELTRIX_Keys::statusLow, iStatusOutOfRange);
}

void OrvikSensor::switchBaudrate(const SensorRequest& request, QMap<QString, QVariant>& answer)
{
    const std::uint32_t requested = request.values.value(VELTRIX_Keys::baudrate).toUInt();
    const auto it = std::find(baudrates.begin(), baudrates.end(), requested);
    const int bit = static_cast<int>(it - baudrates.begin());
    if (it == baudrates.end() || (mConfig.baudMask & (1u << bit)) == 0)
    {
        answer.insert(VELTRIX_Keys::statusLow, iStatusUnsupported);
        return;
    }
    // The application layer switches the line once the answer has left.
    mBaudrate = requested;
}

void OrvikSensor::systemCommand(Target target, const SensorRequest& request, QMap<QString, QVariant>& answer)
{
    const int code = request.values.value(VELTRIX_Keys::systemcommand).toInt();
    // The device speaks for the whole sensor: what it stores, restores or
    // restarts includes the sub device behind it, so that a calibration
    // written to the sub device survives a return to factory defaults.
    QList<PartMemory*> parts{&part(target)};
    if (target == Target::Device && hasSubDevice())
        parts.append(&part(Target::SubDevice));

    switch (code)
    {
    case 0:
        for (PartMemory* memory : parts)
            memory->factory = memory->working;
        break;
    case 1:
        for (PartMemory* memory : parts)
            memory->nvm = memory->working = memory->factory;
        break;
    case 2:
        for (PartMemory* memory : parts)
            memory->nvm = memory->working = memory->blank;
        break;
    case 3:
        for (PartMemory* memory : parts)
            memory->working = memory->nvm;
        if (target == Target::Device)
        {
            // A restarted sensor listens at the initial rate again.
            mBaudrate = initialBaudrate;
            ++mRestarts;
        }
        break;
    default:
        answer.insert(VELTRIX_Keys::statusLow, iStatusUnsupported);
        mSystemCommands.append({target, code, false});
        return;
    }
    mSystemCommands.append({target, code, true});
}

QList<std::pair<int, float>> OrvikSensor::fillVariables(Target target, int command,
                                                        QMap<QString, QVariant>& answer)
{
    Part& state = target == Target::Device ? mDevice : mSubDevice;
    QList<double>& totals = state.totals[command];
    QList<std::pair<int, float>> variables;
    const auto& configured = command == 138 ? mConfig.deviceVariables : mConfig.burstVariables;
    if (configured)
    {
        const int n = state.answers[command]++;
        for (const LiveVariable& variable : *configured)
        {
            const float value =
                variable.values.isEmpty() ? 0.0f : variable.values.at(n % variable.values.size());
            variables.append({variable.unit, value});
        }
    }
    else
    {
        const double k = state.samples++;
        // Slowly wandering values; the volume is one second of flow per sample.
        const float flow = static_cast<float>(12.5 + 0.4 * std::sin(k * 0.7));
        variables = {{iUnitLitrePerMinute, flow},
                     {iUnitCelsius, static_cast<float>(21.5 + 0.2 * std::cos(k * 0.3))}};
        if (target == Target::Device)
        {
            variables.append({iUnitLitre, flow / 60.0f});
            variables.append({iUnitBar, static_cast<float>(2.5 + 0.05 * std::sin(k * 0.2))});
        }
    }
    totals.resize(std::max(totals.size(), variables.size()));
    for (qsizetype i = 0; i < variables.size(); ++i)
    {
        if (variables[i].first == iUnitLitre)
            totals[i] += variables[i].second;
    }

    const auto cmd = static_cast<VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND>(command);
    answer.insert(VELTRIX_Keys::variableCount(cmd), static_cast<int>(variables.size()));
    for (int i = 0; i < std::min<int>(variables.size(), iMaxEncodedVariables); ++i)
    {
        answer.insert(VELTRIX_Keys::variableUnit(cmd, i + 1), variables[i].first);
        answer.insert(VELTRIX_Keys::variableValue(cmd, i + 1), variables[i].second);
    }
    return variables.mid(std::min<qsizetype>(variables.size(), iMaxEncodedVariables));
}

QMap<QString, QVariant> OrvikSensor::burstValues(Target target)
{
    QMap<QString, QVariant> values = standardMap(139);
    values.insert(VELTRIX_Keys::statusHigh, mConfig.status);
    fillVariables(target, 139, values);
    return values;
}

QJsonObject OrvikSensor::stateJson() const
{
    // The totaliser of every variable position of 138 and 139 (0 where the
    // position is not a volume).
    auto totalsJson = [this](Target target)
    {
        const Part& state = target == Target::Device ? mDevice : mSubDevice;
        QJsonObject totals;
        for (auto it = state.totals.cbegin(); it != state.totals.cend(); ++it)
        {
            QJsonArray positions;
            for (double total : it.value())
                positions.append(total);
            totals.insert(QString::number(it.key()), positions);
        }
        return totals;
    };
    auto partJson = [this, totalsJson](Target target)
    {
        const PartMemory& memory = part(target);
        const PartIdentity& id = identity(target);
        return QJsonObject{
            {"version", id.version},
            {"size", static_cast<int>(memory.nvm.size())},
            {"nvmChanges", differences(memory.nvm, memory.blank)},
            {"nvm", QString::fromLatin1(memory.nvm.toHex())},
            {"working", QString::fromLatin1(memory.working.toHex())},
            {"factory", QString::fromLatin1(memory.factory.toHex())},
            {"totals", totalsJson(target)},
        };
    };

    QJsonArray systemCommands;
    for (const SystemCommandRecord& record : mSystemCommands)
    {
        systemCommands.append(QJsonObject{{"target", targetName(record.target)},
                                          {"code", record.code},
                                          {"name", systemCommandName(record.code)},
                                          {"executed", record.executed}});
    }
    QJsonObject requests;
    for (auto it = mRequests.cbegin(); it != mRequests.cend(); ++it)
        requests.insert(QString::number(it.key()), it.value());

    QJsonObject state{
        {"address", addressJson(mConfig.address)},
        {"baudrate", static_cast<qint64>(mBaudrate)},
        {"device", partJson(Target::Device)},
        {"systemCommands", systemCommands},
        {"requests", requests},
        {"answers", mAnswers},
        {"restarts", mRestarts},
    };
    if (hasSubDevice())
        state.insert("subDevice", partJson(Target::SubDevice));
    if (mLoader)
    {
        QJsonObject firmware = mLoader->stateJson();
        firmware.insert("inBootloader", mInLoader);
        state.insert("firmware", firmware);
    }
    return state;
}

QByteArray applyWireFault(const QByteArray& framed, WireFault fault)
{
    QByteArray out = framed;
    const int commandIndex = VELTRIX_Frame::iTxPreambels + VELTRIX_Frame::iOffsetCommand;
    switch (fault)
    {
    case WireFault::None:
        break;
    case WireFault::Silent:
        out.clear();
        break;
    case WireFault::BadChecksum:
        if (!out.isEmpty())
            out.back() = static_cast<char>(~static_cast<unsigned char>(out.back()));
        break;
    case WireFault::FewPreambles:
        if (out.startsWith(
                QByteArray(VELTRIX_Frame::iTxPreambels, static_cast<char>(VELTRIX_Frame::ucPreambel))))
            out.remove(0, 1);
        break;
    case WireFault::WrongCommand:
        if (out.size() > commandIndex + 1)
        {
            // A neighbouring command number; the checksum follows the change.
            constexpr char flip = 0x01;
            out[commandIndex] = static_cast<char>(out.at(commandIndex) ^ flip);
            out.back() = static_cast<char>(out.back() ^ flip);
        }
        break;
    }
    return out;
}

std::optional<std::pair<int, int>> parseVersion(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^V(\\d{2})\\.(\\d{2})$"));
    const auto match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return std::pair{match.captured(1).toInt(), match.captured(2).toInt()};
}

std::optional<std::array<int, 3>> parseRevision(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{2})(\\d{2})(\\d{2})$"));
    const auto match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const std::array<int, 3> revision{match.captured(1).toInt(), match.captured(2).toInt(),
                                      match.captured(3).toInt()};
    if (revision[1] < 1 || revision[1] > 12 || revision[2] < 1 || revision[2] > 31)
        return std::nullopt;
    return revision;
}

std::optional<BusAddress> parseAddress(const QString& text)
{
    static const QRegularExpression separators(QStringLiteral("[\\s.,:]+"));
    const QStringList parts = text.trimmed().split(separators, Qt::SkipEmptyParts);
    if (parts.size() != 5)
        return std::nullopt;
    BusAddress address{};
    for (int i = 0; i < 5; ++i)
    {
        bool ok = false;
        const uint value = parts[i].toUInt(&ok, 0);
        if (!ok || value > 255)
            return std::nullopt;
        address[i] = static_cast<std::uint8_t>(value);
    }
    return address;
}

std::optional<Fault> parseFault(Fault::Kind kind, const QString& text, QString* error)
{
    auto fail = [error](const QString& why) -> std::optional<Fault>
    {
        if (error)
            *error = why;
        return std::nullopt;
    };
    QStringList parts = text.split(QLatin1Char(':'));
    Fault fault;
    fault.kind = kind;

    if (kind == Fault::Kind::ReadbackMismatch && !parts.isEmpty() &&
        (parts.front() == QLatin1String("dev") || parts.front() == QLatin1String("sub")))
    {
        fault.target = parts.takeFirst() == QLatin1String("dev") ? Target::Device : Target::SubDevice;
    }
    if (parts.isEmpty() || parts.size() > 2)
        return fail(QStringLiteral("expected %1[:N], got '%2'")
                        .arg(kind == Fault::Kind::ReadbackMismatch ? "ADDR" : "CMD", text));

    bool ok = false;
    fault.key = parts[0].toInt(&ok, 0);
    if (kind == Fault::Kind::ReadbackMismatch)
    {
        if (!ok || fault.key < 0 || fault.key > 0xFFFF)
            return fail(QStringLiteral("NVM address out of range in '%1'").arg(text));
    }
    else if (!ok || !VELTRIX_Session::isValidCommand(fault.key))
    {
        return fail(QStringLiteral("command must be 128 to 143 in '%1'").arg(text));
    }

    if (parts.size() == 2)
    {
        fault.times = parts[1].toInt(&ok);
        if (!ok || fault.times < 1)
            return fail(QStringLiteral("count must be 1 or more in '%1'").arg(text));
    }
    return fault;
}

std::optional<QList<LiveVariable>> parseLiveVariables(const QString& text, QString* error)
{
    const auto refuse = [error](const QString& why) -> std::optional<QList<LiveVariable>>
    {
        if (error != nullptr)
            *error = why;
        return std::nullopt;
    };
    QList<LiveVariable> variables;
    for (const QString& entry : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
    {
        const QStringList parts = entry.trimmed().split(QLatin1Char(':'));
        bool unitOk = false;
        const int unit = parts.value(0).toInt(&unitOk);
        if (parts.size() != 2 || !unitOk || unit < 0 || unit > 255)
            return refuse(
                QStringLiteral("'%1' is not UNIT:VALUE[/VALUE...] with a unit 0 to 255").arg(entry));
        LiveVariable variable{unit, {}};
        for (const QString& number : parts[1].split(QLatin1Char('/')))
        {
            bool ok = false;
            const float value = QLocale::c().toFloat(number.trimmed(), &ok);
            if (!ok || !std::isfinite(value))
                return refuse(QStringLiteral("'%1' is not a number").arg(number));
            variable.values.append(value);
        }
        variables.append(variable);
    }
    // The answer's byte count (two status bytes, the count, five bytes a
    // variable) is one byte.
    if (variables.isEmpty() || variables.size() > maxLiveVariables)
        return refuse(QStringLiteral("give 1 to %1 variables").arg(maxLiveVariables));
    return variables;
}

} // namespace Hvd::Weft::Simulator
