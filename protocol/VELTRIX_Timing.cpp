#include "protocol/VELTRIX_Timing.h"

#include <algorithm>
#include <cmath>

int VELTRIX_Timing::scaleDelay(int delayMs, double factor)
{
    if (delayMs <= 0)
        return delayMs;
    return std::max(1, static_cast<int>(std::lround(delayMs * factor)));
}

VELTRIX_Timing VELTRIX_Timing::scaled(double factor) const
{
    VELTRIX_Timing t = *this;
    for (int* delay : {&t.link.burstAckDelayUpTo4800Ms,
                       &t.link.burstAckDelayUpTo38400Ms,
                       &t.link.burstFirstFrameDelayMs,
                       &t.link.burstNextFrameDelayMs,
                       &t.link.btleRescanDelayMs,
                       &t.link.powerDownMs,
                       &t.link.startupMs,
                       &t.requestDelayMs,
                       &t.baudrateSettleMs,
                       &t.firstContact.startDelayMs,
                       &t.firstContact.stepDelayMs,
                       &t.parameter.startDelayMs,
                       &t.parameter.stepDelayMs,
                       &t.sysCommand.startDelayMs,
                       &t.sysCommand.stepDelayMs,
                       &t.values.startDelayMs,
                       &t.values.stepDelayMs,
                       &t.uploadStartDelayMs,
                       &t.factoryDefaultsPauseMs,
                       &t.resetNvmWaitMs,
                       &t.bootloaderHandOverMs,
                       &t.bootloader.mspWakeUpRepeatMs,
                       &t.bootloader.mspConnectDelayMs})
        *delay = scaleDelay(*delay, factor);
    t.pace = pace * factor;
    return t;
}

std::optional<double> VELTRIX_Timing::parseScale(const QString& text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < minScale || value > maxScale)
        return std::nullopt;
    return value;
}
