#pragma once

#include <QElapsedTimer>
#include <QThread>

// Waits the given time without returning to the event loop. Sleeps while
// more than a couple of milliseconds remain and spins on the high-resolution
// clock for the rest, so the end is as exact as a pure busy wait while the
// other core stays usable meanwhile.
inline void FPreciseWaitNs(qint64 ns)
{
    constexpr qint64 kSpinNs = 2'000'000;
    QElapsedTimer clock;
    clock.start();
    for (qint64 left = ns - clock.nsecsElapsed(); left > 0; left = ns - clock.nsecsElapsed())
    {
        if (left > kSpinNs)
            QThread::usleep(static_cast<unsigned long>((left - kSpinNs) / 1000));
    }
}
