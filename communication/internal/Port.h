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
    // The open timeout and the pace of the adapter's power cycle come from `timing`.
    Port(QObject* parent, VELTRIX* facade, const VELTRIX_Timing& timing);

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
    const int openTimeoutMs;

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
    const double pace;
    QTimer openTimer;
    int closesInFlight = 0;
};

} // namespace Hvd::Weft::Communication::Internal
