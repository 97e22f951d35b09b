#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <csignal>
#include <iterator>
#include <memory>

namespace Hvd::Weft::Components
{

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal in the thread that owns
// this object, so that a program stopped from outside leaves through its
// normal path: a running job stopped, the port released, the log complete.
// The operating system's handlers are process-wide: one object at a time
// (a second one stays inactive), and the previous handlers come back with
// its destruction.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    bool isActive() const { return active; }

    // The program's name for a signal number, e.g. "SIGTERM".
    static const char* name(int signalNumber);

Q_SIGNALS:
    void received(int signalNumber);

private:
    static void handle(int signalNumber);
    void readPipe();

    static constexpr int handledSignals[] = {SIGTERM, SIGINT, SIGHUP};

    int fds[2] = {-1, -1};
    bool active = false;
    struct sigaction previous[std::size(handledSignals)] = {};
    std::unique_ptr<QSocketNotifier> notifier;
};

} // namespace Hvd::Weft::Components
