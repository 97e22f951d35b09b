#pragma once

#include <QObject>
#include <QString>

#include <cstdint>

namespace Hvd::Weft::Components
{

// Names the part of the system an error comes from. This program raises
// every error as Application.
enum class System : std::uint8_t
{
    Unknown = 0,
    Application = 1,
};

// The last argument of errorOccurred: whether the device service reported
// the failure, and so has given up the line.
inline constexpr bool deviceDisconnected = true;
inline constexpr bool deviceStillConnected = false;

// An operation the user starts: runs asynchronously in the GUI thread,
// reports progress and ends exactly once, with finished or errorOccurred
// (or silently when cancelled).
class Command : public QObject
{
    Q_OBJECT

public:
    explicit Command(QObject* parent);
    ~Command() override = default;

    void execute();
    void stop();
    void cancel();
    bool isRunning() const { return running; }

    // Sets the QObject parent and the nearest Command among the parents.
    void setParent(QObject* parent);
    Command* getParentCommand() const { return parentCommand; }

    // Indentation of the lines a command logs about its own work.
    unsigned char getDepth(bool ownWork = true);

    virtual unsigned getCount() const { return 1; }
    virtual bool hasDetailedProgress() const { return true; }
    virtual QString getDescription() const = 0;

public Q_SLOTS:
    // The normal end.
    virtual void finish();
    // The failed end.
    virtual void error(const QString& message, Hvd::Weft::Components::System system, bool disconnected);

Q_SIGNALS:
    void progressUpdated(std::uint32_t progress, const QString& description);
    void finished();
    void warningOccurred(const QString& message);
    void errorOccurred(const QString& message, Hvd::Weft::Components::System system, bool disconnected);

protected:
    virtual bool checkPreconditions() { return true; }
    virtual void doConnect() {}
    virtual void doDisconnect() {}
    virtual void doExecute() = 0;
    virtual void doStop() {}
    virtual void doCancel() {}

protected:
    // The depth itself (0 for a root command, +2 per nesting level).
    unsigned char depth();
    void setRunning(bool value) { running = value; }
    // Logs "Finished {}", clears the running flag and emits finished; the
    // caller has already disconnected.
    void endFinished();

    friend class CompositeCommand;

private:
    static constexpr unsigned char depthUnknown = 255;

    Command* parentCommand = nullptr;
    unsigned char cachedDepth = depthUnknown;
    bool running = false;
};

} // namespace Hvd::Weft::Components

Q_DECLARE_METATYPE(Hvd::Weft::Components::System)
