#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

// One run of a subcommand of `orvik` against a sensor. The program starts
// it, shows its lines and ends with its exit code; a termination signal
// interrupts it.
class CommandRun : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts the run; it ends with finished().
    virtual void start() = 0;
    // Stopped from outside: whatever runs is stopped, the port is released,
    // and the run ends as failed.
    virtual void interrupt(const QString& reason) = 0;

    // The exit code once finished (0 success, 1 failure).
    std::optional<int> exitCode() const { return code; }

Q_SIGNALS:
    // A line for standard output: the results.
    void printed(const QString& line);
    // A line for standard error: how far the run is.
    void progressed(const QString& line);
    // A line for standard error: what went wrong.
    void failed(const QString& message);
    void finished(int exitCode);

protected:
    // "[ 40%] Reading measured values", once per change.
    void showProgress(std::uint32_t progress, const QString& description)
    {
        const QString line =
            QStringLiteral("[%1%] %2").arg(QString::number(progress).rightJustified(3), description);
        if (line == lastProgress)
            return;
        lastProgress = line;
        Q_EMIT progressed(line);
    }

    void end(int exitCode)
    {
        code = exitCode;
        Q_EMIT finished(exitCode);
    }

    std::optional<int> code;

private:
    QString lastProgress;
};
