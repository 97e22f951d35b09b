#include "communication/Comport.h"

namespace Hvd::Weft::Communication
{

QDebug operator<<(QDebug debug, const Comport& comport)
{
    debug << "Number:" << comport.number << "Manufacturer:" << comport.manufacturer << "Pid:" << comport.pid
          << "Vid:" << comport.vid << "HalfDuplex:" << comport.halfDuplex
          << "Startup(ms):" << comport.startupMs << "PowerDown(ms):" << comport.powerDownMs;
    return debug;
}

} // namespace Hvd::Weft::Communication
