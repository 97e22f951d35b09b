#pragma once

#include <string>

namespace DeviceTest
{

// The what() of the Exception that f throws; a marker text when f throws
// nothing, so that comparisons with the expected text fail visibly.
template <typename Exception, typename F> std::string messageOf(F&& f)
{
    try
    {
        f();
    }
    catch (const Exception& e)
    {
        return e.what();
    }
    return "<no exception>";
}

} // namespace DeviceTest
