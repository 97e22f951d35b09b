#pragma once

#include "bootloader/TiTxt.h"
#include "bootloader/msp432/MSPCommands.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

// Reads a TI-TXT image into blocks of at most 256 bytes, each with its CRC.
class MSPParser : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // False when the file is unreadable or not a usable image; then blocks is empty.
    bool getDataForFile(const QString& fileName, QList<MSPCommands::DataBlock>& blocks) const;
    // The blocks of the tokens; nullopt for data before the first address,
    // data beyond 32-bit addresses or no data at all. Sections without data
    // give no block.
    static std::optional<QList<MSPCommands::DataBlock>> getDataForTXTFile(const QList<TiTxt::Token>& tokens);
    static uint16_t getCRC_CCITT(const QByteArray& bytes) { return MSPCommands::getCRC_CCITT(bytes); }

private:
    static bool checkForMaxBlockSize(const MSPCommands::DataBlock& block)
    {
        return block.data.size() >= MSPCommands::maxBlockSize;
    }
    static void closeBlock(MSPCommands::DataBlock& block, QList<MSPCommands::DataBlock>& blocks);
};
