#pragma once

#include "bootloader/TiTxt.h"
#include "bootloader/tiva/TivaCommands.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

namespace TIVA
{

// Reads a TI-TXT image into one contiguous block: later sections follow the
// first, the gaps between them filled with 0xFF (erased flash).
class Parser : public QObject
{
    Q_OBJECT

public:
    // Far above any Tiva flash; keeps a stray far address from asking for gigabytes of padding.
    static constexpr qsizetype maxImageBytes = 16 * 1024 * 1024;

    using QObject::QObject;

    // False when the file is unreadable or not a usable image; then blocks is empty.
    bool getDataForFile(const QString& fileName, QList<Commands::DataBlock>& blocks) const;
    // The image of the tokens; nullopt for data before the first address, an
    // address behind data already read, an image beyond 32-bit addresses or
    // larger than maxImageBytes, or no data at all.
    static std::optional<Commands::DataBlock> getDataForTXTFile(const QList<TiTxt::Token>& tokens);

private:
    static bool addPaddingBytesForAddressOffset(uint32_t address, Commands::DataBlock& block);
};

} // namespace TIVA
