#pragma once

#include <QString>

#include <optional>

// Every wait of the device stack lives in one value, VELTRIX_Timing, handed
// down through the options each layer takes. The defaults are the protocol's
// and the devices' own. Two kinds of wait are kept apart:
// - delays pace the line (before a request, between sessions, before the
//   next burst frame) and may be shortened where both ends agree, as a
//   simulated sensor and its master do;
// - timeouts give up on a silent line; they are never shortened by a scale,
//   so a busy machine is not taken for a silent sensor.

// The link layer's waits, on either side of the line.
struct VELTRIX_LinkTiming
{
    // Timeouts.
    int responseTimeoutMs = 300;
    // Answers of a sub device travel through its device and take longer.
    int responseTimeoutSubDeviceMs = 600;
    int burstWatchdogMs = 2000;
    // How long the power cycle waits for the port to confirm an RTS change.
    int rtsConfirmTimeoutMs = 100;
    // A closing port gives queued output its line time and this much more.
    int drainSlackMs = 2000;
    // Destruction waits this long for a power cycle to leave. It only ever
    // blocks on a condition the cancel wakes, so this is slack.
    int powerCycleLeaveTimeoutMs = 2000;
    int btleDiscoveryTimeoutMs = 15000;

    // Delays. Acknowledge delays after a burst frame, by baud rate.
    int burstAckDelayUpTo4800Ms = 10;
    int burstAckDelayUpTo38400Ms = 1;
    // Slave side: first burst frame after activation, next after an acknowledge.
    int burstFirstFrameDelayMs = 250;
    int burstNextFrameDelayMs = 1;
    // Bluetooth LE: from a lost connection to scanning again.
    int btleRescanDelayMs = 500;
    // The session record's default power cycle (lines off, then on until the
    // device runs); the service uses the times of the device's description.
    int powerDownMs = 250;
    int startupMs = 250;
};

// The firmware loaders' waits.
struct BootloaderTiming
{
    // Timeouts.
    int tivaAnswerTimeoutMs = 3000;
    int mspAnswerTimeoutMs = 2000;
    // Delays.
    int mspWakeUpRepeatMs = 20;
    // The MSP432 loader needs a moment after its acknowledge before it takes commands.
    int mspConnectDelayMs = 1000;
};

// A sequence's delays: before its first request and between its sessions.
struct VELTRIX_SequencePace
{
    int startDelayMs = 0;
    int stepDelayMs = 0;
};

struct VELTRIX_Timing
{
    VELTRIX_LinkTiming link;

    // Master application layer (delays): before each request and after a
    // baud rate change.
    int requestDelayMs = 150;
    int baudrateSettleMs = 100;
    // How often the list of serial ports is read: polling, not pacing, so
    // it is not scaled.
    int portScanIntervalMs = 1000;

    // Timeouts of the service. The open is confirmed from the port's own
    // thread; a busy machine's first open of a process took longer than 150 ms.
    int portOpenTimeoutMs = 2000;
    // A session whose answers stop coming ends after this long.
    int sessionTimeoutMs = 15000;
    // An interrupted run waits this long for its port to be released.
    int releaseTimeoutMs = 3000;

    // Delays of the service's sequences.
    VELTRIX_SequencePace firstContact{600, 150};
    VELTRIX_SequencePace parameter{300, 150};
    VELTRIX_SequencePace sysCommand{200, 100};
    VELTRIX_SequencePace values{100, 50};
    int uploadStartDelayMs = 200;
    // The device stores its factory defaults after answering; nothing is
    // sent meanwhile.
    int factoryDefaultsPauseMs = 500;
    // A memory reset is not expected to be answered in time.
    int resetNvmWaitMs = 800;
    // From the answer to command 133 to the loader taking the line.
    int bootloaderHandOverMs = 1000;

    BootloaderTiming bootloader;

    // Multiplies the delays that come with the device instead of this value
    // (the adapter's power cycle from its description).
    double pace = 1.0;

    // The same timing with every delay multiplied by `factor` (at least 1 ms
    // where it was not 0); timeouts stay.
    VELTRIX_Timing scaled(double factor) const;
    // A delay multiplied by `factor`: at least 1 ms unless it was 0.
    static int scaleDelay(int delayMs, double factor);

    // A scale factor as text ("0.1"); nothing unless it is a number from
    // minScale to maxScale. Never above 1: longer delays would outrun the
    // timeouts, which stay.
    static std::optional<double> parseScale(const QString& text);
    static constexpr double minScale = 0.01;
    static constexpr double maxScale = 1.0;
};
