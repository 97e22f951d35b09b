#pragma once

#include "communication/Comport.h"

#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>

namespace Hvd::Weft::Components
{

// Connects and disconnects the target device. Busy (running) from a connect
// until its outcome, or from a disconnect until it has ended.
class Connector : public QObject
{
    Q_OBJECT

public:
    explicit Connector(QObject* parent = nullptr);

    bool isRunning() const { return running; }
    void setRunning(bool value) { running = value; }

    virtual bool isTargetConnected() const = 0;
    // Restarts and releases the target, with signals.
    void disconnectTarget();

Q_SIGNALS:
    void progressUpdated(std::uint8_t progress, const QString& description);
    void errorOccurred(const QString& message);
    void targetDisconnected();

protected:
    // withSignals false keeps the user interface out of a disconnect it did
    // not ask for.
    virtual void doDisconnectTarget(bool withSignals) = 0;
    // Forgets the target and its port.
    virtual void clear() = 0;
    virtual void doConnectTarget(const QString& port) = 0;
    virtual bool containsConnectedPort(const QList<Communication::Comport>& ports) const = 0;

private:
    bool running = false;
};

} // namespace Hvd::Weft::Components
