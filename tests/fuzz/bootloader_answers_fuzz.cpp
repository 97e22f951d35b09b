// The answer decoders of both loader families. An answer is taken as good
// only when it is one: for the Tiva loader an acknowledge (0xCC) within the
// three answer bytes, or for GetStatus a first non-zero byte of 0xCC or
// 0x40; for the MSP432 loader acknowledge, header, core length, the
// "operation OK" message or (for a CRC check) the block's own CRC, and the
// answer's CRC over its core. Good answers built from the input are taken.
// Input: family and command selector, then the answer bytes.

#include "FuzzSupport.h"

#include "bootloader/msp432/MSPCommands.h"
#include "bootloader/tiva/TivaCommands.h"

namespace
{

constexpr std::array tivaCommands{TIVA::Commands::Ping,      TIVA::Commands::Download, TIVA::Commands::Run,
                                  TIVA::Commands::GetStatus, TIVA::Commands::SendData, TIVA::Commands::Reset};
constexpr std::array mspCommands{MSPCommands::MSPCMD_RX_DATA_BLOCK_32, MSPCommands::MSPCMD_RX_PASSWORD_32,
                                 MSPCommands::MSPCMD_MASS_ERASE,       MSPCommands::MSPCMD_CRC_CHECK_32,
                                 MSPCommands::MSPCMD_CHANGE_BAUD_RATE, MSPCommands::MSPCMD_REBOOT_RESET,
                                 MSPCommands::MSPCMD_CRC_CHECK};

std::uint16_t le16(const QByteArray& bytes, qsizetype at)
{
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes.at(at)) |
                                      (static_cast<std::uint8_t>(bytes.at(at + 1)) << 8));
}

void tiva(TIVA::Commands::Cmd cmd, const QByteArray& answer)
{
    bool good = false;
    if (answer.size() >= TIVA::Commands::answerBytes)
    {
        if (cmd == TIVA::Commands::GetStatus)
        {
            const auto status = static_cast<std::uint8_t>(answer.at(0) != 0 ? answer.at(0) : answer.at(1));
            good = status == TIVA::Commands::Acknowledged || status == TIVA::Commands::Success;
        }
        else
        {
            for (int i = 0; i < TIVA::Commands::answerBytes; ++i)
                good = good || static_cast<std::uint8_t>(answer.at(i)) == TIVA::Commands::Acknowledged;
        }
    }
    FUZZ_CHECK(TIVA::Commands::decodeRx(cmd, answer) == good,
               "a Tiva answer is taken exactly when it is good");

    // The loader's own answers: acknowledge, then (for GetStatus) success.
    const QByteArray ack = QByteArray::fromHex("00CC00");
    FUZZ_CHECK(TIVA::Commands::decodeRx(cmd, ack), "a Tiva acknowledge is taken");
}

// The loader's answer around `core`: acknowledge, header, length, core, CRC.
QByteArray mspAnswer(const QByteArray& core)
{
    QByteArray answer;
    answer.append('\0');
    answer.append(static_cast<char>(MSPCommands::header));
    answer.append(static_cast<char>(core.size() & 0xFF));
    answer.append(static_cast<char>((core.size() >> 8) & 0xFF));
    answer.append(core);
    const std::uint16_t crc = MSPCommands::getCRC_CCITT(core);
    answer.append(static_cast<char>(crc & 0xFF));
    answer.append(static_cast<char>(crc >> 8));
    return answer;
}

void msp(MSPCommands::MSPCMD cmd, const QByteArray& answer, const QByteArray& blockData)
{
    MSPCommands::DataBlock block;
    block.data = blockData;
    block.crc = MSPCommands::getCRC_CCITT(blockData);
    const bool crcCheck = cmd == MSPCommands::MSPCMD_CRC_CHECK_32 || cmd == MSPCommands::MSPCMD_CRC_CHECK;

    const MSPCommands::Error decoded = MSPCommands::decodeRxBuffer(cmd, answer, &block);
    if (decoded.rxError == MSPCommands::MSPRX_NO_ERROR)
    {
        FUZZ_CHECK(answer.size() >= 8, "a taken MSP432 answer is complete");
        FUZZ_CHECK(answer.at(0) == 0 && static_cast<std::uint8_t>(answer.at(1)) == MSPCommands::header,
                   "a taken MSP432 answer starts with acknowledge and header");
        const int core = le16(answer, 2);
        FUZZ_CHECK(core == answer.size() - 6, "a taken MSP432 answer is as long as it says");
        const QByteArray coreBytes = answer.mid(4, core);
        FUZZ_CHECK(MSPCommands::getCRC_CCITT(coreBytes) == le16(answer, answer.size() - 2),
                   "a taken MSP432 answer has a good CRC");
        if (crcCheck)
            FUZZ_CHECK(static_cast<std::uint8_t>(coreBytes.at(0)) == MSPCommands::MSPCMD_SPECIAL_DATA &&
                           coreBytes.size() >= 3 && le16(coreBytes, 1) == block.crc,
                       "a CRC check passes only with the block's own CRC");
        else
            FUZZ_CHECK(static_cast<std::uint8_t>(coreBytes.at(0)) == MSPCommands::MSPCMD_SPECIAL_MESSAGE &&
                           coreBytes.at(1) == MSPCommands::MSP_DEVICE_MESSAGE_OPERATION_OK,
                       "a command passes only with the loader's \"operation OK\"");
    }

    // The loader's good answer for this command and block is taken.
    QByteArray core;
    if (crcCheck)
    {
        core.append(static_cast<char>(MSPCommands::MSPCMD_SPECIAL_DATA));
        core.append(static_cast<char>(block.crc & 0xFF));
        core.append(static_cast<char>(block.crc >> 8));
    }
    else
    {
        core.append(static_cast<char>(MSPCommands::MSPCMD_SPECIAL_MESSAGE));
        core.append('\0');
    }
    FUZZ_CHECK(MSPCommands::decodeRxBuffer(cmd, mspAnswer(core), &block).rxError ==
                   MSPCommands::MSPRX_NO_ERROR,
               "the loader's good answer is taken");
    // The same answer for another block is not, when the CRC differs.
    if (crcCheck)
    {
        MSPCommands::DataBlock other = block;
        other.crc = static_cast<std::uint16_t>(block.crc ^ 0x0100);
        FUZZ_CHECK(MSPCommands::decodeRxBuffer(cmd, mspAnswer(core), &other).rxError !=
                       MSPCommands::MSPRX_NO_ERROR,
                   "another block's CRC fails the check");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzSupport::Input input(data, size);
    const std::uint8_t selector = input.byte();
    if (selector & 0x80)
    {
        tiva(tivaCommands[(selector & 0x7F) % tivaCommands.size()], input.rest());
        return 0;
    }
    // A length byte splits the rest into the block and the answer.
    const QByteArray blockData = input.bytes(input.byte());
    msp(mspCommands[selector % mspCommands.size()], input.rest(), blockData);
    return 0;
}
