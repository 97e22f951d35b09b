#pragma once

#include <QString>

#include <cstdint>

namespace Hvd::Weft::Simulator
{

// A pseudo-terminal pair: the simulated sensor works on the master side, the
// program under test opens the device path with its normal serial port. The
// slave side stays open here as well, in raw mode, so that the master side
// neither reports a hang-up while no program has the device open nor echoes
// bytes through the terminal's line discipline.
class OrvikPseudoTerminal
{
public:
    OrvikPseudoTerminal();
    // Takes over the master end of a pseudo-terminal opened elsewhere (a
    // device test bed's emulated port); closes it on destruction.
    explicit OrvikPseudoTerminal(int masterFd);
    ~OrvikPseudoTerminal();
    OrvikPseudoTerminal(const OrvikPseudoTerminal&) = delete;
    OrvikPseudoTerminal& operator=(const OrvikPseudoTerminal&) = delete;

    bool isValid() const { return mMaster >= 0; }
    QString errorString() const { return mError; }

    // Non-blocking.
    int masterFd() const { return mMaster; }
    // E.g. /dev/pts/7.
    QString devicePath() const { return mPath; }

    // The speed the program set on the device side (both sides share one
    // set of line settings); 0 if it cannot be read. Parity cannot be seen:
    // a pseudo-terminal is always 8N1. While no program holds the device
    // configured, the speed it last had: a program's close puts the settings
    // it found back at once, yet bytes it wrote before may still be unread
    // here, and they were sent at the speed in force then.
    std::uint32_t lineBaudrate() const;

    // Pulls the adapter: the master side is closed, so the program's open
    // port is hung up and the device path goes away. Call only once nothing
    // reads or writes the master side any more.
    void hangUp();

    // Writes all bytes to the master side, waiting at most timeoutMs for
    // room; returns how many were written.
    qint64 write(const char* data, qint64 size, int timeoutMs = 200) const;

private:
    // Opens the device side and keeps it open in raw mode.
    bool holdDeviceSide(int master);

    // Last speed a program set; read from the sensor's reading thread only.
    mutable std::uint32_t mLastBaudrate = 0;
    int mMaster = -1;
    int mSlave = -1;
    QString mPath;
    QString mError;
};

} // namespace Hvd::Weft::Simulator
