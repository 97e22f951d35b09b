#include "tools/orvik-sim/OrvikPseudoTerminal.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace Hvd::Weft::Simulator
{

namespace
{
QString systemError(const char* what)
{
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}
} // namespace

OrvikPseudoTerminal::OrvikPseudoTerminal()
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0)
    {
        mError = systemError("posix_openpt");
        return;
    }
    if (::grantpt(master) != 0)
    {
        mError = systemError("pseudo-terminal set-up");
        ::close(master);
        return;
    }
    if (!holdDeviceSide(master))
        ::close(master);
}

OrvikPseudoTerminal::OrvikPseudoTerminal(int masterFd)
{
    const int flags = ::fcntl(masterFd, F_GETFL);
    if (flags < 0)
    {
        mError = systemError("inherited descriptor");
        return;
    }
    // The sensor's reader expects a non-blocking descriptor; the programs it
    // starts have no business with it.
    if (::fcntl(masterFd, F_SETFL, flags | O_NONBLOCK) != 0 || ::fcntl(masterFd, F_SETFD, FD_CLOEXEC) != 0)
    {
        mError = systemError("inherited descriptor");
        ::close(masterFd);
        return;
    }
    if (!holdDeviceSide(masterFd))
        ::close(masterFd);
}

bool OrvikPseudoTerminal::holdDeviceSide(int master)
{
    char name[128] = {};
    // ptsname_r fails on anything but the master end of a pseudo-terminal.
    if (::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0)
    {
        mError = systemError("not the master end of a pseudo-terminal");
        return false;
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0)
    {
        mError = systemError("open pseudo-terminal device");
        return false;
    }
    termios raw{};
    if (::tcgetattr(slave, &raw) == 0)
    {
        ::cfmakeraw(&raw);
        // No speed at all, a value no program sets: the line reads as
        // released whenever a program's close has put these settings back.
        ::cfsetspeed(&raw, B0);
        ::tcsetattr(slave, TCSANOW, &raw);
    }
    mMaster = master;
    mSlave = slave;
    mPath = QString::fromLocal8Bit(name);
    return true;
}

void OrvikPseudoTerminal::hangUp()
{
    // Closing the master hangs up every holder of the device side. Ours
    // stays open until this object goes: the terminal's number is not given
    // to a new pseudo-terminal while the program may still hold the lock
    // file it keeps under that number, which would refuse the new one.
    if (mMaster >= 0)
        ::close(mMaster);
    mMaster = -1;
}

OrvikPseudoTerminal::~OrvikPseudoTerminal()
{
    if (mSlave >= 0)
        ::close(mSlave);
    if (mMaster >= 0)
        ::close(mMaster);
}

std::uint32_t OrvikPseudoTerminal::lineBaudrate() const
{
    termios settings{};
    if (mMaster < 0 || ::tcgetattr(mMaster, &settings) != 0)
        return 0;
    static constexpr std::pair<speed_t, std::uint32_t> rates[] = {
        {B1200, 1200},     {B2400, 2400},     {B4800, 4800},     {B9600, 9600},
        {B19200, 19200},   {B38400, 38400},   {B57600, 57600},   {B115200, 115200},
        {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
    };
    const speed_t speed = ::cfgetospeed(&settings);
    if (speed == B0)
        return mLastBaudrate;
    for (const auto& [code, rate] : rates)
        if (code == speed)
            return mLastBaudrate = rate;
    return 0;
}

qint64 OrvikPseudoTerminal::write(const char* data, qint64 size, int timeoutMs) const
{
    if (mMaster < 0)
        return -1;
    const QDeadlineTimer deadline(timeoutMs);
    qint64 done = 0;
    while (done < size)
    {
        const ssize_t written = ::write(mMaster, data + done, static_cast<size_t>(size - done));
        if (written > 0)
        {
            done += written;
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR)
            break;
        // The far side is not reading; wait for room, not for ever.
        if (deadline.hasExpired())
            break;
        pollfd fd{mMaster, POLLOUT, 0};
        ::poll(&fd, 1, static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    }
    return done;
}

} // namespace Hvd::Weft::Simulator
