// The simulated sensor's request handling, as its host runs it: request
// frames decoded by the device side's codec, handled by the sensor core and
// answered through the codec again; while its loader runs, the bytes go to
// the loader. What must hold: a request for another device leaves the
// sensor silent; every good answer to a request the master could have sent
// decodes on the master side; what a good write put into memory reads back.
// The sensor is built once per loader family and copied for each input.
// Input: loader family (top bit: write the state file at the end), then per request an address and command
// selector, a byte count and the payload (while the loader runs: a length and bytes).

#include "FuzzSupport.h"

#include "protocol/VELTRIX_AppCodec.h"
#include "protocol/VELTRIX_Keys.h"
#include "tools/orvik-sim/OrvikSensor.h"
#include "tools/orvik-sim/OrvikSimulatorHost.h"

#include <map>
#include <vector>

namespace
{

using namespace Hvd::Weft::Simulator;
using Session = VELTRIX_Session;
using Command = VELTRIX_AppCodec::Command;

constexpr int iRead = 130;
constexpr int iWrite = 131;

std::vector<OrvikSensor>& pristine()
{
    static std::vector<OrvikSensor>* sensors = []
    {
        FuzzSupport::ensureApplication();
        auto* built = new std::vector<OrvikSensor>;
        for (BootloaderFamily family :
             {BootloaderFamily::None, BootloaderFamily::Tiva, BootloaderFamily::Msp432})
        {
            OrvikSimulatorOptions options;
            options.sensor.bootloader.family = family;
            QString error;
            const auto shared = createSensor(options, &error);
            FUZZ_CHECK(error.isEmpty(), "the simulated sensor reads the shipped description");
            built->push_back(shared->with([](OrvikSensor& sensor) { return sensor; }));
        }
        return built;
    }();
    return *sensors;
}

// The command's standard map, built once per command: the harness needs it
// several times for every request.
const VELTRIX_AppCodec::DataMap& defaults(int command)
{
    static std::map<int, VELTRIX_AppCodec::DataMap> maps;
    auto it = maps.find(command);
    if (it == maps.end())
        it = maps.emplace(command, VELTRIX_AppCodec::withDefaults(static_cast<Command>(command), {})).first;
    return it->second;
}

BusAddress addressFrom(std::uint8_t selector, FuzzSupport::Input& input, const BusAddress& own)
{
    switch (selector & 0x07)
    {
    case 0:
        return own;
    case 1:
        return {own[0], own[1], own[2], 0, 0};
    case 2:
        return {own[0], 0, 0, own[3], own[4]};
    case 3:
        return {};
    default:
    {
        BusAddress address{};
        for (auto& b : address)
            b = input.byte();
        return address;
    }
    }
}

int statusLow(const SensorReply& reply)
{
    return reply.values.value(VELTRIX_Keys::statusLow).toInt();
}

// Reads back what a good write put into memory, as the master's next request would.
void checkReadBack(OrvikSensor& sensor, const BusAddress& address, const VELTRIX_AppCodec::DataMap& write)
{
    const QByteArray written = write.value(VELTRIX_Keys::bytes).toByteArray();
    SensorRequest read;
    read.address = address;
    read.command = iRead;
    read.values = defaults(iRead);
    read.values.insert(VELTRIX_Keys::universalError, 0);
    read.values.insert(VELTRIX_Keys::address, write.value(VELTRIX_Keys::address));
    read.values.insert(VELTRIX_Keys::bytesToRead, static_cast<int>(written.size()));
    const SensorReply reply = sensor.handle(read);
    FUZZ_CHECK(reply.addressed && statusLow(reply) == 0, "memory just written can be read");
    FUZZ_CHECK(reply.values.value(VELTRIX_Keys::bytes).toByteArray() == written, "a good write reads back");
}

void request(OrvikSensor& sensor, FuzzSupport::Input& input)
{
    const std::uint8_t selector = input.byte();
    const std::uint8_t code = input.byte();
    const int command = (selector & 0x80) ? code : 128 + (code & 0x0F);
    const BusAddress address = addressFrom(selector, input, sensor.config().address);
    const std::uint8_t count = input.byte();

    QByteArray frame;
    frame.append(static_cast<char>(VELTRIX_Frame::ucDelimiterMaster));
    frame.append(reinterpret_cast<const char*>(address.data()), VELTRIX_Frame::iAddressSize);
    frame.append(static_cast<char>(command));
    frame.append(static_cast<char>(count));
    frame.append(input.bytes(count));

    const auto cmd = static_cast<Command>(command);
    SensorRequest heard;
    heard.address = address;
    heard.command = command;
    heard.values = VELTRIX_AppCodec::decodeRequest(cmd, frame, defaults(command));
    const bool decoded = heard.values.value(VELTRIX_Keys::universalError).toInt() == 0;

    const SensorReply reply = sensor.handle(heard);
    if (!reply.addressed)
    {
        FUZZ_CHECK(reply.wire == WireFault::Silent, "a request for another device is not answered");
        return;
    }
    const QByteArray answer = VELTRIX_AppCodec::buildAnswer(cmd, reply.address, reply.values, heard.values);
    if (!decoded || statusLow(reply) != 0 || !reply.extraVariables.isEmpty())
        return;
    // The master never asks for more than it can take in one answer.
    if (command == iRead &&
        heard.values.value(VELTRIX_Keys::bytesToRead).toInt() > VELTRIX_AppCodec::iMaxReadBytes)
        return;
    const auto seen = VELTRIX_AppCodec::decodeResponse(cmd, answer, defaults(command));
    FUZZ_CHECK(seen.value(VELTRIX_Keys::universalError).toInt() == 0,
               "a good answer decodes on the master side");
    if (command == iWrite)
        checkReadBack(sensor, address, heard.values);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    pristine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzSupport::Input input(data, size);
    const std::uint8_t family = input.byte();
    OrvikSensor sensor = pristine().at((family & 0x0F) % pristine().size());
    // A bounded number of exchanges keeps every input fast.
    for (int exchange = 0; exchange < 64 && !input.empty(); ++exchange)
    {
        if (sensor.inBootloader())
        {
            sensor.bootloaderReceive(input.bytes(input.byte() % 80 + 1));
            if (!sensor.inBootloader())
                FUZZ_CHECK(sensor.lineBaudrate() == OrvikSensor::initialBaudrate,
                           "after its loader the sensor listens at the initial rate");
            continue;
        }
        request(sensor, input);
        const auto& rates = OrvikSensor::baudrates;
        FUZZ_CHECK(std::find(rates.begin(), rates.end(), sensor.baudrate()) != rates.end(),
                   "the sensor listens at one of its rates");
    }
    // The state file is written after every addressed request; it is
    // costly, so only some inputs end with it.
    if (family & 0x80)
        sensor.stateJson();
    return 0;
}
