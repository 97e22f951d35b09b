#include "bootloader/tiva/TivaParser.h"

namespace TIVA
{

bool Parser::getDataForFile(const QString& fileName, QList<Commands::DataBlock>& blocks) const
{
    blocks.clear();
    const auto tokens = TiTxt::readFile(fileName);
    if (!tokens)
        return false;
    const auto block = getDataForTXTFile(*tokens);
    if (!block)
        return false;
    blocks.append(*block);
    return true;
}

std::optional<Commands::DataBlock> Parser::getDataForTXTFile(const QList<TiTxt::Token>& tokens)
{
    Commands::DataBlock block;
    bool addressSeen = false;
    // Padding between markers is no data: an image of markers alone would
    // only erase flash.
    bool dataSeen = false;
    for (const TiTxt::Token& token : tokens)
    {
        if (token.kind == TiTxt::Token::End)
            break;
        if (token.kind == TiTxt::Token::Address)
        {
            if (!addressSeen)
            {
                block.startAddress = token.value;
                addressSeen = true;
            }
            else if (!addPaddingBytesForAddressOffset(token.value, block))
                return std::nullopt;
            continue;
        }
        // Bytes without an address have no place in the device.
        if (!addressSeen)
            return std::nullopt;
        if (block.data.size() >= maxImageBytes ||
            block.startAddress + static_cast<uint64_t>(block.data.size()) > 0xFFFFFFFFu)
            return std::nullopt;
        block.data.append(static_cast<char>(token.value));
        dataSeen = true;
    }
    if (!dataSeen)
        return std::nullopt;
    block.size = static_cast<uint32_t>(block.data.size());
    return block;
}

bool Parser::addPaddingBytesForAddressOffset(uint32_t address, Commands::DataBlock& block)
{
    const qint64 end = static_cast<qint64>(block.startAddress) + block.data.size();
    // A section behind the data already read would shift every later byte to a wrong address.
    if (address < end || address - block.startAddress > static_cast<uint64_t>(maxImageBytes))
        return false;
    block.data.append(QByteArray(address - end, static_cast<char>(0xFF)));
    return true;
}

} // namespace TIVA
