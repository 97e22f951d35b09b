#include "communication/ComPortScanner.h"

namespace Hvd::Weft::Communication
{

bool ComPortScanner::isChange(const List& reported, const List& current)
{
    if (reported.isEmpty() && current.isEmpty())
        return false;
    if (reported.size() != current.size())
        return true;
    for (const Comport& port : current)
    {
        if (!reported.contains(port))
            return true;
    }
    return false;
}

} // namespace Hvd::Weft::Communication
