#include "bootloader/TiTxt.h"

#include <QFile>
#include <QRegularExpression>

namespace TiTxt
{

namespace
{

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// Stops at the first digit that pushes the value above the limit, so that no
// length of input can overflow.
std::optional<uint64_t> parseHex(QStringView digits, uint64_t limit)
{
    if (digits.isEmpty())
        return std::nullopt;
    uint64_t value = 0;
    for (const QChar c : digits)
    {
        const int digit = hexDigit(c);
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<uint64_t>(digit);
        if (value > limit)
            return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<uint32_t> convertAddressIndicator(const QString& token)
{
    if (!token.startsWith(u'@'))
        return std::nullopt;
    const auto value = parseHex(QStringView(token).mid(1), 0xFFFFFFFFu);
    if (!value)
        return std::nullopt;
    return static_cast<uint32_t>(*value);
}

bool isEndIndicator(const QString& token)
{
    return token.contains(u'q', Qt::CaseInsensitive);
}

std::optional<uint8_t> convertHexToByte(const QString& token)
{
    if (token.size() != 2)
        return std::nullopt;
    const auto value = parseHex(token, 0xFF);
    if (!value)
        return std::nullopt;
    return static_cast<uint8_t>(*value);
}

std::optional<QList<Token>> readFile(const QString& fileName)
{
    if (!fileName.contains(QStringLiteral(".txt")))
        return std::nullopt;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;

    static const QRegularExpression separators(QStringLiteral("[ \r\n]"));
    QList<Token> tokens;
    while (!file.atEnd())
    {
        const QString line = QString::fromLatin1(file.readLine());
        for (const QString& text : line.split(separators, Qt::SkipEmptyParts))
        {
            if (text.startsWith(u'@'))
            {
                const auto address = convertAddressIndicator(text);
                if (!address)
                    return std::nullopt;
                tokens.append({Token::Address, *address});
            }
            else if (isEndIndicator(text))
            {
                tokens.append({Token::End, 0});
                return tokens;
            }
            else if (const auto byte = convertHexToByte(text))
                tokens.append({Token::Byte, *byte});
            else
                return std::nullopt;
        }
    }
    return tokens;
}

} // namespace TiTxt
