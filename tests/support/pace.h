#pragma once

#include "protocol/VELTRIX_Timing.h"

// Simulator suites shorten the line's delays by this factor on both ends;
// timeouts stay as they are. Built with -DORVIK_TEST_PACE=1, every suite
// runs at the protocol's own pace (slow, for hunting timing faults).
#ifndef ORVIK_TEST_PACE
#define ORVIK_TEST_PACE 0.05
#endif

namespace TestSupport
{

inline constexpr double testPace = ORVIK_TEST_PACE;

// What a suite's service and simulated sensor are built with.
inline VELTRIX_Timing testTiming()
{
    return VELTRIX_Timing().scaled(testPace);
}

// The same with short timeouts, for tests that wait on a silent sensor.
inline VELTRIX_Timing quickTiming()
{
    VELTRIX_Timing timing = testTiming();
    timing.sessionTimeoutMs = 1500;
    timing.portOpenTimeoutMs = 400;
    return timing;
}

// For a stand-in service whose ports the test lists itself: the scanner's
// empty list would otherwise replace them.
inline VELTRIX_Timing withoutPortScans()
{
    VELTRIX_Timing timing = testTiming();
    timing.portScanIntervalMs = 3600000;
    return timing;
}

} // namespace TestSupport
