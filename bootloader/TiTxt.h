#pragma once

#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

// Tokens of a TI-TXT firmware image: "@ADDR" address markers, two-digit hex
// data bytes and the end marker "q". Both families read their images
// through this reader.
namespace TiTxt
{

struct Token
{
    enum Kind
    {
        Address,
        Byte,
        End
    };
    Kind kind = End;
    uint32_t value = 0;
};

// The address of a marker "@<hex>", or nullopt when the token is none or the
// address needs more than 32 bits.
std::optional<uint32_t> convertAddressIndicator(const QString& token);
// True for every token that holds a "q" or "Q".
bool isEndIndicator(const QString& token);
// The byte of a two-digit hex token, or nullopt.
std::optional<uint8_t> convertHexToByte(const QString& token);

// Every token up to and including the end marker, or nullopt when the name
// lacks ".txt", the file cannot be read or a token is none of the above: a
// device must never be flashed with bytes the file did not hold.
std::optional<QList<Token>> readFile(const QString& fileName);

} // namespace TiTxt
