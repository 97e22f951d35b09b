#include "communication/Device.h"

namespace Hvd::Weft::Communication
{

QDebug operator<<(QDebug debug, const Device& device)
{
    const QList<QString> address = device.address.getAddressAsString(device.address.bytes);
    debug << "Name:" << device.name << "Version:" << device.version << "Revision:" << device.revision
          << "Vendor:" << device.vendor << "Address:"
          << "Vendor:" << address[0] << "Device:" << address[1] << address[2] << "SubDevice:" << address[3]
          << address[4] << "\n"
          << "has Sub:" << device.hasSubDevice() << "\n"
          << "Sub Name:" << device.subName << "Sub Version:" << device.subVersion
          << "Sub Revision:" << device.subRevision;
    return debug;
}

} // namespace Hvd::Weft::Communication
