#include "bootloader/msp432/MSPParser.h"

bool MSPParser::getDataForFile(const QString& fileName, QList<MSPCommands::DataBlock>& blocks) const
{
    blocks.clear();
    const auto tokens = TiTxt::readFile(fileName);
    if (!tokens)
        return false;
    auto read = getDataForTXTFile(*tokens);
    if (!read)
        return false;
    blocks = std::move(*read);
    return true;
}

std::optional<QList<MSPCommands::DataBlock>> MSPParser::getDataForTXTFile(const QList<TiTxt::Token>& tokens)
{
    QList<MSPCommands::DataBlock> blocks;
    MSPCommands::DataBlock block;
    bool addressSeen = false;
    for (const TiTxt::Token& token : tokens)
    {
        if (token.kind == TiTxt::Token::End)
            break;
        if (token.kind == TiTxt::Token::Address)
        {
            closeBlock(block, blocks);
            block.startAddress = token.value;
            addressSeen = true;
            continue;
        }
        // Bytes without an address have no place in the device.
        if (!addressSeen)
            return std::nullopt;
        const uint64_t address = block.startAddress + static_cast<uint64_t>(block.data.size());
        if (address > 0xFFFFFFFFu)
            return std::nullopt;
        if (checkForMaxBlockSize(block))
        {
            closeBlock(block, blocks);
            block.startAddress = static_cast<uint32_t>(address);
        }
        block.data.append(static_cast<char>(token.value));
    }
    closeBlock(block, blocks);
    if (blocks.isEmpty())
        return std::nullopt;
    return blocks;
}

void MSPParser::closeBlock(MSPCommands::DataBlock& block, QList<MSPCommands::DataBlock>& blocks)
{
    if (!block.data.isEmpty())
    {
        block.crc = getCRC_CCITT(block.data);
        blocks.append(block);
    }
    block = {};
}
