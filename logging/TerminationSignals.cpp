#include "logging/TerminationSignals.h"

#include "logging/Logger.h"

#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Hvd::Weft::Components
{

namespace
{
// The write end for the handler: a signal handler reaches no object.
std::atomic<int> signalWriteFd{-1};
} // namespace

TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
    {
        Logger::warn("Termination signals are not handled: no socket pair ({})", errno);
        return;
    }
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
    ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
    int expected = -1;
    if (!signalWriteFd.compare_exchange_strong(expected, fds[1]))
    {
        Logger::warn("Termination signals are already handled by another object");
        return;
    }
    notifier = std::make_unique<QSocketNotifier>(fds[0], QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, &TerminationSignals::readPipe);

    struct sigaction action = {};
    action.sa_handler = &TerminationSignals::handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(handledSignals); ++i)
        ::sigaction(handledSignals[i], &action, &previous[i]);
    active = true;
}

TerminationSignals::~TerminationSignals()
{
    if (active)
    {
        for (std::size_t i = 0; i < std::size(handledSignals); ++i)
            ::sigaction(handledSignals[i], &previous[i], nullptr);
        signalWriteFd.store(-1);
    }
    notifier.reset();
    for (int fd : fds)
        if (fd >= 0)
            ::close(fd);
}

const char* TerminationSignals::name(int signalNumber)
{
    switch (signalNumber)
    {
    case SIGTERM:
        return "SIGTERM";
    case SIGINT:
        return "SIGINT";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "signal";
    }
}

void TerminationSignals::handle(int signalNumber)
{
    const int savedErrno = errno;
    const int fd = signalWriteFd.load();
    if (fd >= 0)
    {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        // Async-signal-safe; a full pipe only loses a repeat of a signal.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

void TerminationSignals::readPipe()
{
    unsigned char byte = 0;
    while (::read(fds[0], &byte, 1) == 1)
        Q_EMIT received(byte);
}

} // namespace Hvd::Weft::Components
