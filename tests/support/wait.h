#pragma once

#include "tools/support/EventLoopWait.h"

// An upper bound on wall-clock time, checked on plain builds only: the
// sanitizers slow every step by a factor nobody can bound.
#if defined(__SANITIZE_ADDRESS__)
#define EXPECT_TIME_BELOW(elapsed, bound) static_cast<void>(elapsed)
#else
#define EXPECT_TIME_BELOW(elapsed, bound) EXPECT_LT(elapsed, bound)
#endif

namespace TestWait
{

using EventLoopWait::settle;
using EventLoopWait::waitUntil;

} // namespace TestWait
