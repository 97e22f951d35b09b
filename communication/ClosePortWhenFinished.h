#pragma once

namespace Hvd::Weft::Communication
{

// Whether a protocol sequence closes the port after a successful run.
enum class ClosePortWhenFinished
{
    No = 0,
    Yes = 1,
};

} // namespace Hvd::Weft::Communication
