#pragma once

#include "tools/orvik-sim/OrvikBootloader.h"
#include "tools/orvik-sim/OrvikSimulatorTypes.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QVariant>

#include <array>
#include <cstdint>
#include <optional>

namespace Hvd::Weft::Simulator
{

// Starting content of one part's memory.
struct MemoryLayout
{
    // What an NVM reset leaves behind: the description's default values.
    QByteArray blank;
    // The NVM at power-up: the defaults plus the sensor's own calibration.
    QByteArray initial;
};

// The memories of one part.
struct PartMemory
{
    QByteArray nvm;
    // What the part works with; takes the NVM values on command 132 and at a restart.
    QByteArray working;
    QByteArray factory;
    QByteArray blank;
};

// What the wire does with an answer.
enum class WireFault : std::uint8_t
{
    None,
    // Nothing is sent.
    Silent,
    WrongCommand,
    BadChecksum,
    FewPreambles,
};

// One request as the slave application layer decoded it.
struct SensorRequest
{
    BusAddress address{};
    int command = 0;
    // The command's standard map with the request's values written in.
    QMap<QString, QVariant> values;
};

struct SensorReply
{
    // False when the request was meant for another device on the bus.
    bool addressed = false;
    std::optional<Target> target;
    // The answer's address: the request's, except for 137, which tells the
    // sensor's full address.
    BusAddress address{};
    // The command's map to answer with (Status High and Low included).
    QMap<QString, QVariant> values;
    WireFault wire = WireFault::None;
    // Variables of a 138/139 answer beyond the eighth, which the application
    // layer cannot encode; the host appends them to the frame.
    QList<std::pair<int, float>> extraVariables;
};

// The simulated Orvik sensor without any port or thread: one request and the
// memory model in, one answer out. Not thread-safe; callers serialise access.
class OrvikSensor
{
public:
    // Status Low of a refused request.
    static constexpr int iStatusRefused = 0x01;
    static constexpr int iStatusOutOfRange = 0x02;
    static constexpr int iStatusUnsupported = 0x03;

    // Rates of the bits 0 to 9 of the command 128 mask.
    static constexpr std::array<std::uint32_t, 10> baudrates{1200,  2400,  4800,   9600,   19200,
                                                             38400, 57600, 115200, 230400, 460800};
    static constexpr std::uint32_t initialBaudrate = 1200;

    OrvikSensor(OrvikSensorConfig config, MemoryLayout device, MemoryLayout subDevice);

    SensorReply handle(const SensorRequest& request);

    // The next burst frame's values (command 139) of a part.
    QMap<QString, QVariant> burstValues(Target target);

    // Which part an address reaches; empty for other devices and for the
    // all-zero broadcast address.
    std::optional<Target> route(const BusAddress& address) const;
    bool hasSubDevice() const;

    const OrvikSensorConfig& config() const { return mConfig; }
    const PartMemory& memory(Target target) const { return part(target); }
    // Test set-up: puts bytes into the NVM directly; false if they do not fit.
    bool writeNvm(Target target, int address, const QByteArray& bytes);

    void addFault(const Fault& fault) { mConfig.faults.append(fault); }
    // The loader's faults too: the next stay in it runs clean.
    void clearFaults();
    void setDropAfter(std::optional<int> answers) { mConfig.dropAfter = answers; }
    void setStatus(std::uint8_t status) { mConfig.status = status; }

    // Requests addressed to this sensor, per command and in all.
    int requestCount(int command) const { return mRequests.value(command); }
    int requestCount() const { return mRequestTotal; }
    int answerCount() const { return mAnswers; }
    const QList<SystemCommandRecord>& systemCommands() const { return mSystemCommands; }
    std::uint32_t baudrate() const { return mBaudrate; }
    int restartCount() const { return mRestarts; }

    // The whole state as written to the state file.
    QJsonObject stateJson() const;

    // --- the loader (command 133 with a bootloader family configured) ---
    bool inBootloader() const { return mInLoader; }
    // Empty without a bootloader family.
    const OrvikBootloader* bootloader() const { return mLoader ? &*mLoader : nullptr; }
    // Bytes heard while the loader runs; returns its answer. After a reset
    // the application runs again at the initial rate.
    QByteArray bootloaderReceive(const QByteArray& bytes);
    // The adapter powered the sensor up again (its wake-up token was heard).
    void powerUp();
    // The rate the sensor listens at: the switched rate of 129, or the loader's.
    std::uint32_t lineBaudrate() const { return mInLoader ? mLoader->baudrate() : mBaudrate; }

private:
    struct Part
    {
        PartMemory memory;
        int samples = 0;
        // Answers with configured variables so far, per command (138, 139).
        QMap<int, int> answers;
        // The totaliser of every volume position, per command.
        QMap<int, QList<double>> totals;
    };

    PartMemory& part(Target target);
    const PartMemory& part(Target target) const;
    // Uses up one strike of the first matching fault; false if none matches.
    bool strike(Fault::Kind kind, int command);
    bool strikeReadback(Target target, int address, int length, int* hit);

    void execute(Target target, const SensorRequest& request, QMap<QString, QVariant>& answer);
    void read(Target target, const SensorRequest& request, QMap<QString, QVariant>& answer);
    void write(Target target, const SensorRequest& request, QMap<QString, QVariant>& answer);
    void switchBaudrate(const SensorRequest& request, QMap<QString, QVariant>& answer);
    void systemCommand(Target target, const SensorRequest& request, QMap<QString, QVariant>& answer);
    // Returns the variables beyond the eighth.
    QList<std::pair<int, float>> fillVariables(Target target, int command, QMap<QString, QVariant>& answer);
    const PartIdentity& identity(Target target) const;
    void enterBootloader();
    void leaveBootloader();

    OrvikSensorConfig mConfig;
    Part mDevice;
    Part mSubDevice;
    QMap<int, int> mRequests;
    int mRequestTotal = 0;
    int mAnswers = 0;
    QList<SystemCommandRecord> mSystemCommands;
    std::uint32_t mBaudrate = initialBaudrate;
    int mRestarts = 0;
    std::optional<OrvikBootloader> mLoader;
    bool mInLoader = false;
    // The variables beyond the eighth of the answer being built.
    QList<std::pair<int, float>> mExtraVariables;
};

// The bytes that go on the wire for an answer framed by the link layer
// (preambles, delimiter … payload, checksum), changed as the fault says.
QByteArray applyWireFault(const QByteArray& framed, WireFault fault);

// Version text "Vxx.yy" as the two numbers of command 135.
std::optional<std::pair<int, int>> parseVersion(const QString& text);
// Revision text "YYMMDD" as the three numbers of command 136.
std::optional<std::array<int, 3>> parseRevision(const QString& text);
// "19 0 4 0 2", also with '.', ',' or ':' between the five bytes.
std::optional<BusAddress> parseAddress(const QString& text);
// Option text of a fault: "CMD[:N]", or "[dev:|sub:]ADDR[:N]" for a
// read-back mismatch. An error text explains a refusal.
std::optional<Fault> parseFault(Fault::Kind kind, const QString& text, QString* error = nullptr);

} // namespace Hvd::Weft::Simulator
