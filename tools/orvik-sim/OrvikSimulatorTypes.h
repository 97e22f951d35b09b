#pragma once

#include <QList>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace Hvd::Weft::Simulator
{

// Five address bytes as on the wire: vendor id, slave (high, low), sub-slave (high, low).
using BusAddress = std::array<std::uint8_t, 5>;

// The two parts of the sensor, each with its own memory and firmware.
enum class Target : std::uint8_t
{
    Device,
    SubDevice,
};

// "device" or "sub"; the spelling of state files and fault options.
const char* targetName(Target target);

// A failure the simulated sensor plays on purpose. `key` is a command number
// (128 to 143) or, for a read-back mismatch, an NVM address. `times` counts
// how often it still strikes; a negative value means every time.
struct Fault
{
    enum class Kind : std::uint8_t
    {
        // Answers with Status Low not 0 and does not execute the request.
        Nak,
        // Does not answer and does not execute the request.
        Silent,
        // A read whose range covers `key` returns that byte inverted.
        ReadbackMismatch,
        // The answer carries another command number (checksum still right).
        WrongCommand,
        // The answer's checksum byte is wrong.
        BadChecksum,
        // The answer has four preambles instead of five.
        FewPreambles,
    };

    Kind kind = Kind::Nak;
    int key = 0;
    int times = -1;
    // Only for a read-back mismatch: which memory; empty means either.
    std::optional<Target> target;

    static Fault nak(int command, int times = -1) { return {Kind::Nak, command, times, {}}; }
    static Fault silent(int command, int times = -1) { return {Kind::Silent, command, times, {}}; }
    static Fault wrongCommand(int command, int times = -1)
    {
        return {Kind::WrongCommand, command, times, {}};
    }
    static Fault badChecksum(int command, int times = -1) { return {Kind::BadChecksum, command, times, {}}; }
    static Fault fewPreambles(int command, int times = -1)
    {
        return {Kind::FewPreambles, command, times, {}};
    }
    static Fault readbackMismatch(int nvmAddress, int times = -1, std::optional<Target> target = {})
    {
        return {Kind::ReadbackMismatch, nvmAddress, times, target};
    }
};

// A live value of command 138 or 139. Each answer takes the next entry of
// `values`, from the first again after the last. A volume (unit 41) is sent
// as what flowed since the previous answer; the sensor keeps the total.
struct LiveVariable
{
    int unit = 0;
    QList<float> values;

    friend bool operator==(const LiveVariable&, const LiveVariable&) = default;
};

// "UNIT:V[/V...],UNIT:V..." as in "17:12.5/13,32:21.5,41:0.2"; an error text
// explains a refusal. At most maxLiveVariables variables, units 0 to 255.
inline constexpr int maxLiveVariables = 50;
std::optional<QList<LiveVariable>> parseLiveVariables(const QString& text, QString* error = nullptr);

// Identity of one part as the identification commands report it.
struct PartIdentity
{
    // "V" two digits "." two digits; command 135 sends the two numbers.
    QString version;
    // Command 141; at most 16 characters.
    QString name;
    // YYMMDD; command 136 sends the three numbers.
    QString revision;
};

// The loader in the sensor's microcontroller, reached with command 133.
enum class BootloaderFamily : std::uint8_t
{
    // 133 is acknowledged and changes nothing.
    None,
    Tiva,
    Msp432,
};

// "tiva" or "msp432"; empty for anything else.
std::optional<BootloaderFamily> parseBootloaderFamily(const QString& text);
const char* bootloaderFamilyName(BootloaderFamily family);

struct BootloaderConfig
{
    BootloaderFamily family = BootloaderFamily::None;
    // The application no longer runs: the sensor powers up in its loader
    // until a transfer has completed (the rescue case).
    bool startInLoader = false;
    // After each answer the loader lets go of the single wire, which the
    // adapter delivers as one more byte (0xFF).
    bool releaseByte = true;

    // Faults. Packets are counted from 1 within one stay in the loader.
    // From this packet on the loader answers nothing; 0: not even the
    // wake-up byte.
    std::optional<int> silentFrom;
    // This data packet (Tiva SendData, MSP432 data block) is refused and not written.
    std::optional<int> refuseData;
    // This check answer is wrong (Tiva: the status of Get Status, MSP432:
    // the CRC of a CRC check); -1: every one.
    std::optional<int> badCheck;

    void clearFaults()
    {
        silentFrom.reset();
        refuseData.reset();
        badCheck.reset();
    }
};

// Everything a simulated sensor is made of; the defaults are a factory-fresh
// sensor with a sub device behind it.
struct OrvikSensorConfig
{
    BusAddress address{19, 0, 4, 0, 2};
    PartIdentity device{QStringLiteral("V02.11"), QStringLiteral("N5Q2-Orvik"), QStringLiteral("230615")};
    PartIdentity subDevice{QStringLiteral("V02.10"), QStringLiteral("N5Q2-Orvik-Meas"),
                           QStringLiteral("230301")};
    // Command 128, bit 0 = 1200 baud … bit 9 = 460800 baud.
    std::uint16_t baudMask = 0x001F;
    // "ProductVariantName" in the device memory.
    QString variant = QStringLiteral("Orvik 82.5");
    // The sub device's KFAKTOR parameter; empty keeps the description's default.
    std::optional<double> kfactor;
    // Status High of every answer; its bits select the status strings of 140.
    std::uint8_t status = 0;
    // The variables of 138 and of 139 (answers and burst frames), for either
    // part; without them, wandering flow, temperature, volume and pressure.
    std::optional<QList<LiveVariable>> deviceVariables;
    std::optional<QList<LiveVariable>> burstVariables;
    QList<Fault> faults;
    // Goes silent once this many answers have been sent.
    std::optional<int> dropAfter;
    BootloaderConfig bootloader;
};

// One received command 143.
struct SystemCommandRecord
{
    Target target = Target::Device;
    // The sub-command: 0 store as factory defaults, 1 restore them, 2 reset
    // the NVM, 3 restart; other codes are refused.
    int code = 0;
    // False when a fault or an unknown code kept it from running.
    bool executed = false;

    friend bool operator==(const SystemCommandRecord&, const SystemCommandRecord&) = default;
};

// Name of a system sub-command, "Unknown" for codes outside 0 to 3.
const char* systemCommandName(int code);

} // namespace Hvd::Weft::Simulator
