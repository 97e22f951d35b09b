#pragma once

#include "app/Orvik.h"
#include "components/commands/CompositeCommand.h"
#include "components/connectors/SensorSession.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace Hvd::Weft::Communication
{
class DeviceService;
}

namespace Hvd::Weft::Components
{
class Command;
class DeviceContext;
class DeviceStack;
class ReadParametersCommand;
} // namespace Hvd::Weft::Components

class ParameterizeOrvikCommand;

// One rescale of the connected sensor, from the press of "Parameterize" to the
// released port: import the description, connect and identify the sensor,
// check it, read its calibrated diameter, rescale it, and release it again
// after a failure. The window and the command line are views of this object:
// they start it and show what it emits, and take no step of their own.
class RescaleFlow : public QObject
{
    Q_OBJECT

public:
    enum class Stage : std::uint8_t
    {
        Idle,
        Connecting,
        Rescaling,
        // The write failed: the sensor is being reconnected and the backup
        // written back.
        Restoring,
        // A failure is known; the sensor is being released.
        Releasing,
        Done,
    };

    // `executeRescale` starts the rescaling command once the sensor has
    // passed its check: the window lets its execute widget run it, the
    // command line runs it directly (the default). The command is owned by
    // whoever runs it; see takeRescaleCommand.
    explicit RescaleFlow(Hvd::Weft::Components::DeviceStack& stack, QObject* parent = nullptr);
    ~RescaleFlow() override;

    // The composite "Reading calibrated diameter" + rescaling. The flow owns
    // it until a view takes it to run it (the window's execute widget); the
    // view then calls setRescaleStarter with how to start it.
    Hvd::Weft::Components::CompositeCommand* rescaleCommand() const { return composite; }
    void setRescaleStarter(std::function<void()> starter) { startRescale = std::move(starter); }

    void setOrvik(const Orvik& orvik);
    Stage getStage() const { return stage; }
    // Where backups and reports go; the per-user default otherwise.
    void setBackupFolder(const QString& folder);

    // Starts a rescale on `port`. A refusal (busy, no port, no description)
    // is reported through failed() at once.
    void start(const QString& port);
    // Stops whatever runs and releases the port at once, without a restart;
    // ends with released(). For a program that is told to stop.
    void interrupt();
    // While the sensor may hold part of the new parameters (the write has
    // begun, or its restore runs): how to put its backup back. Empty otherwise.
    QString partialWriteAdvice() const;

    // A user-visible text of the rescaler, translated in the window's context;
    // a text not shown by the window itself is marked where it is written
    // with QT_TRANSLATE_NOOP("OrvikWidget", ...), so that the catalogue holds it.
    static QString text(const char* sourceText);

Q_SIGNALS:
    void progressUpdated(std::uint32_t progress, const QString& description);
    void warningOccurred(const QString& warning);
    // One of the two values the user sees: its row ("InnerDiameter",
    // "FlowMeasEnd"), the number and the unit (rich text).
    void valueShown(const QString& row, double value, const QString& unit);
    // The backup of what the rescale replaces is saved (before any write).
    void backupSaved(const QString& path);
    void succeeded();
    // After a success: the report of what changed, or why it is missing
    // (the rescale itself stands).
    void reportSaved(const QString& pdfPath, const QString& jsonPath);
    void reportFailed(const QString& message);
    // The rescale failed; the release of the sensor has already begun.
    void failed(const QString& message);
    // The sensor is released after a failure or an interrupt; a failed
    // release brings its own message.
    void released(const std::optional<QString>& releaseError);

private:
    void checkSensor();
    void onRescaleFinished();
    void fail(const QString& message, bool lineLost = false);
    void restore(const QString& failure);
    void restoreConnected();
    void restoreEnded(bool restored, const QString& reason, bool lineLost = false);
    void saveReport();
    void releaseEnded(const std::optional<QString>& releaseError);
    void onReleased(const std::optional<QString>& releaseError);
    void onValueCalculated(bool isDeviceParameter, const QString& name, double value, const QString& unit);
    void connectCalibratedDiameter();

    Hvd::Weft::Components::DeviceContext& context;
    Hvd::Weft::Communication::DeviceService& service;
    Hvd::Weft::Components::SensorSession session;
    Hvd::Weft::Components::ReadParametersCommand* readCommand;
    ParameterizeOrvikCommand* parameterizeCommand;
    QPointer<Hvd::Weft::Components::CompositeCommand> composite;
    QPointer<Hvd::Weft::Components::CompositeCommand> restoreCommand;
    std::function<void()> startRescale;
    // An interrupt runs: its release ends the flow, whatever else ends.
    bool interrupting = false;
    // The service reported the adapter's line lost during this run.
    bool lineGone = false;
    Stage stage = Stage::Idle;
    QString port;
    Orvik orvik;
    // The failure a restore runs for; reported with its outcome.
    QString restoreFor;
    // What the rescale wrote, for the report.
    QString newSizeName;
    double newKFactor = 0;
    QString kFactorName;
    double shownDiameter = 0;
    double shownRangeEnd = 0;
};
