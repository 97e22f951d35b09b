#pragma once

#include "app/Orvik.h"
#include "communication/VeltrixDeviceService.h"
#include "components/connectors/DeviceStack.h"
#include "tools/orvik/CommandRun.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>

class RescaleFlow;

// One rescale of the sensor on one port, assembled from the same objects as
// the window (device context, the device service in "DeviceThread", port
// scanner, connector, the rescale flow). It has no rescaling logic of its
// own: what it adds is turning progress, values and failures into lines of
// text.
class RescaleRun : public CommandRun
{
    Q_OBJECT

public:
    // The protocol's own waits unless ORVIK_TIME_SCALE scales them; tests pass theirs.
    RescaleRun(const QString& port, const Orvik& orvik,
               const VELTRIX_Timing& timing =
                   Hvd::Weft::Communication::VeltrixDeviceService::timingFromEnvironment(),
               QObject* parent = nullptr);
    ~RescaleRun() override;

    // Where the backup and the report go; the per-user folder otherwise.
    void setBackupFolder(const QString& folder);

    void start() override;
    // The sensor may then hold only part of the new parameters; the message says so.
    void interrupt(const QString& reason) override;

private:
    void succeed();
    void releaseEnded(const std::optional<QString>& releaseError);

    const QString port;
    const Orvik orvik;
    // In the order the window's program creates them; destroyed in reverse.
    Hvd::Weft::Components::DeviceStack stack;
    std::unique_ptr<RescaleFlow> flow;

    bool started = false;
    QString failure;
    QString interruption;
    // The two values the window shows, as it shows them.
    QString innerDiameter;
    QString maxFlow;
    QString backupPath;
    QString reportPath;
    QString reportDataPath;
};
