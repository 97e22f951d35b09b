// TI-TXT firmware images, read for both loader families. The tokens must be
// those of an independent reading of the text, and no image may hold a
// byte the file did not hold at that address: the Tiva image fills gaps
// with 0xFF only, the MSP432 blocks carry each data byte once, at most 256
// to a block, each with the CRC of its bytes.

#include "FuzzSupport.h"

#include "bootloader/TiTxt.h"
#include "bootloader/msp432/MSPParser.h"
#include "bootloader/tiva/TivaParser.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace
{

struct Reading
{
    std::vector<TiTxt::Token> tokens;
    // Every byte the file holds, by address (a section may repeat one).
    std::map<std::uint64_t, std::set<std::uint8_t>> held;
    std::size_t dataBytes = 0;
};

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Words split at space, CR and LF: "@" and up to eight hex digits is an
// address, a word with "q" or "Q" ends the image, two hex digits a byte;
// anything else spoils the file.
std::optional<Reading> readIndependently(const QByteArray& text)
{
    Reading reading;
    std::uint64_t address = 0;
    bool addressSeen = false;
    for (const QByteArray& word : text.split(' '))
    {
        for (const QByteArray& line : word.split('\n'))
        {
            for (const QByteArray& piece : line.split('\r'))
            {
                if (piece.isEmpty())
                    continue;
                if (piece.startsWith('@'))
                {
                    if (piece.size() < 2)
                        return std::nullopt;
                    std::uint64_t value = 0;
                    for (qsizetype i = 1; i < piece.size(); ++i)
                    {
                        const int digit = hexValue(piece.at(i));
                        if (digit < 0)
                            return std::nullopt;
                        value = value * 16 + static_cast<std::uint64_t>(digit);
                        if (value > 0xFFFFFFFFu)
                            return std::nullopt;
                    }
                    reading.tokens.push_back({TiTxt::Token::Address, static_cast<uint32_t>(value)});
                    address = value;
                    addressSeen = true;
                    continue;
                }
                if (piece.contains('q') || piece.contains('Q'))
                {
                    reading.tokens.push_back({TiTxt::Token::End, 0});
                    return reading;
                }
                if (piece.size() != 2 || hexValue(piece.at(0)) < 0 || hexValue(piece.at(1)) < 0)
                    return std::nullopt;
                const auto byte =
                    static_cast<std::uint8_t>(hexValue(piece.at(0)) * 16 + hexValue(piece.at(1)));
                reading.tokens.push_back({TiTxt::Token::Byte, byte});
                if (addressSeen)
                {
                    reading.held[address].insert(byte);
                    ++address;
                }
                ++reading.dataBytes;
            }
        }
    }
    return reading;
}

std::uint16_t crcCcitt(const QByteArray& bytes)
{
    std::uint16_t crc = 0xFFFF;
    for (const char c : bytes)
    {
        crc ^= static_cast<std::uint16_t>(static_cast<std::uint8_t>(c) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<std::uint16_t>(crc << 1);
    }
    return crc;
}

bool held(const Reading& reading, std::uint64_t address, std::uint8_t byte)
{
    const auto it = reading.held.find(address);
    return it != reading.held.end() && it->second.count(byte) > 0;
}

void checkTiva(const Reading& reading, const std::optional<TIVA::Commands::DataBlock>& block)
{
    if (!block)
        return;
    FUZZ_CHECK(block->size == static_cast<std::uint32_t>(block->data.size()), "a Tiva image knows its size");
    const std::uint64_t start = block->startAddress;
    const std::uint64_t end = start + static_cast<std::uint64_t>(block->data.size());
    // The file's bytes where the file put them; everything else erased flash.
    QByteArray gaps = block->data;
    for (const auto& [address, bytes] : reading.held)
    {
        FUZZ_CHECK(address >= start && address < end, "a Tiva image holds every byte of the file");
        const auto at = static_cast<qsizetype>(address - start);
        FUZZ_CHECK(bytes.count(static_cast<std::uint8_t>(block->data.at(at))) > 0,
                   "a Tiva image holds the file's byte at every address it has");
        gaps[at] = static_cast<char>(0xFF);
    }
    FUZZ_CHECK(std::all_of(gaps.cbegin(), gaps.cend(), [](char c) { return c == static_cast<char>(0xFF); }),
               "a Tiva image fills only gaps, with erased flash");
}

void checkMsp(const Reading& reading, const std::optional<QList<MSPCommands::DataBlock>>& blocks)
{
    if (!blocks)
        return;
    std::size_t total = 0;
    for (const auto& block : *blocks)
    {
        FUZZ_CHECK(!block.data.isEmpty() && block.data.size() <= MSPCommands::maxBlockSize,
                   "an MSP432 block holds 1 to 256 bytes");
        FUZZ_CHECK(block.crc == crcCcitt(block.data), "an MSP432 block carries the CRC of its bytes");
        for (qsizetype i = 0; i < block.data.size(); ++i)
            FUZZ_CHECK(held(reading, block.startAddress + static_cast<std::uint64_t>(i),
                            static_cast<std::uint8_t>(block.data.at(i))),
                       "an MSP432 block holds only the file's bytes at their addresses");
        total += static_cast<std::size_t>(block.data.size());
    }
    FUZZ_CHECK(total == reading.dataBytes, "the MSP432 blocks hold every byte of the file once");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::ensureApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray text = FuzzSupport::whole(data, size);
    const QString path = FuzzSupport::scratchFile(QStringLiteral("image.txt"), text);
    const auto tokens = TiTxt::readFile(path);
    const auto reading = readIndependently(text);
    FUZZ_CHECK(tokens.has_value() == reading.has_value(), "the image is read or refused as its words say");
    if (!tokens)
        return 0;
    FUZZ_CHECK(tokens->size() == static_cast<qsizetype>(reading->tokens.size()),
               "every word becomes one token");
    for (qsizetype i = 0; i < tokens->size(); ++i)
        FUZZ_CHECK(tokens->at(i).kind == reading->tokens[i].kind &&
                       tokens->at(i).value == reading->tokens[i].value,
                   "each token is what its word says");

    const auto tiva = TIVA::Parser::getDataForTXTFile(*tokens);
    const auto msp = MSPParser::getDataForTXTFile(*tokens);
    // Data before the first address has no place; both refuse such a file.
    if (!reading->tokens.empty() && reading->dataBytes > 0)
    {
        checkTiva(*reading, tiva);
        checkMsp(*reading, msp);
    }
    else
    {
        FUZZ_CHECK(!tiva && !msp, "an image without data gives nothing to flash");
    }

    // The file path gives what the tokens give.
    QList<TIVA::Commands::DataBlock> tivaBlocks;
    QList<MSPCommands::DataBlock> mspBlocks;
    FUZZ_CHECK(TIVA::Parser().getDataForFile(path, tivaBlocks) == tiva.has_value(),
               "Tiva file and tokens agree");
    FUZZ_CHECK(MSPParser().getDataForFile(path, mspBlocks) == msp.has_value(),
               "MSP432 file and tokens agree");
    if (tiva)
        FUZZ_CHECK(tivaBlocks.size() == 1 && tivaBlocks.first().data == tiva->data,
                   "Tiva file and tokens agree");
    if (msp)
        FUZZ_CHECK(mspBlocks.size() == msp->size(), "MSP432 file and tokens agree");
    return 0;
}
