#pragma once

#include "communication/Comport.h"
#include "communication/LogLevel.h"
#include "protocol/VELTRIX_Session.h"

#include <QObject>
#include <QTimer>

class VELTRIX;

namespace Hvd::Weft::Communication::Internal
{

// The one serial port of the device service: opens and closes it through the
// facade, with an open timeout and a close-then-open path to switch ports.
class Port : public QObject
{
    Q_OBJECT

public:
    // The open is confirmed from the port's own thread. On a busy machine
    // the first open of a process (thread start, lock file, driver) took
    // longer than 150 ms, and a good port was reported as one that could not
    // be opened while it opened a moment later anyway.
    static constexpr int defaultOpenTimeoutMs = 2000;

    Port(QObject* parent, VELTRIX* facade);

    void reopen(const Comport& comport, int timeoutMs);
    void close();

    // Closes asked for whose report has not come yet; an open port with a
    // close in flight must not be reused.
    int pendingCloses() const { return closesInFlight; }

    // Set directly by first contact when it starts a connection.
    Comport comport;
    bool isOpen = false;
    bool reopenPending = false;
    // Someone else (a bootloader) set the line; the port must be opened anew
    // before it speaks the protocol again.
    bool foreignLineSettings = false;
    int openTimeoutMs = defaultOpenTimeoutMs;

signals:
    void opened();
    void closed();
    void failed();
    void log(Hvd::Weft::Communication::LogLevel level, const QString& entry);
    // Wired to the facade only.
    void openPort(bool bOpen, const VELTRIX_Session::InterfaceSettings& settings);

private:
    VELTRIX_Session::InterfaceSettings settingsFor(const Comport& port) const;
    void onNewState(bool open);
    void onOpenTimeout();

    VELTRIX* facade;
    QTimer openTimer;
    int closesInFlight = 0;
};

} // namespace Hvd::Weft::Communication::Internal
