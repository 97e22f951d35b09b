#include "protocol/VELTRIX_Frame.h"

namespace VELTRIX_Frame
{

unsigned char checksum(const unsigned char* data, std::size_t size)
{
    unsigned char sum = 0;
    for (std::size_t i = 0; i < size; ++i)
        sum ^= data[i];
    return sum;
}

unsigned char checksum(const QByteArray& data)
{
    return checksum(reinterpret_cast<const unsigned char*>(data.constData()),
                    static_cast<std::size_t>(data.size()));
}

void addFraming(QByteArray& buffer)
{
    const unsigned char sum = checksum(buffer);
    buffer.reserve(buffer.size() + iTxPreambels + 1);
    buffer.prepend(iTxPreambels, static_cast<char>(ucPreambel));
    buffer.append(static_cast<char>(sum));
}

} // namespace VELTRIX_Frame
