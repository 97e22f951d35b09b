#pragma once

#include "communication/Comport.h"
#include "communication/Device.h"
#include "communication/internal/Default.h"
#include "communication/internal/Sequence.h"

#include <cstdint>

namespace Hvd::Weft::Communication::Internal
{

// Connects to a sensor: opens the port, asks the address with 137, raises
// the line speed with 128 and 129 and identifies device and sub device with
// 135, 136 and 141. The port stays open after success.
class FirstContact : public Default
{
    Q_OBJECT

public:
    FirstContact(QObject* parent, VELTRIX* facade, Port* port, ClosePortWhenFinished close,
                 const VELTRIX_Timing& timing);

    // Ignored without any signal while a run is in progress. Without
    // identification only the port is opened and a placeholder device named
    // "Bootloader" is reported.
    void start(const Comport& comport, bool deviceIdentification);
    void reset();
    bool isRunning() const { return running; }

    // The fastest rate a mask of command 128 offers (bits 1 to 9); 1200 otherwise.
    static std::uint32_t chooseBaudrate(std::uint16_t mask);

signals:
    void foundDevice(const Hvd::Weft::Communication::Device& dev);

public slots:
    void abort() override;
    void recieveStateMachine(VELTRIX_Session& session) override;
    void printCommandError(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND received,
                           VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND expected);

protected:
    void resetRun() override { reset(); }

private:
    void onPortOpened();
    void onPortFailed();
    QString noResponseText() const override;
    void onStep() override;
    void evaluateAddress(const QMap<QString, QVariant>& map);
    void evaluate(const Sequence& sequence, Session::Command command, const QMap<QString, QVariant>& map);
    void traceBaudrates(std::uint16_t mask);

    Sequences sequences;
    Device device;
    bool identify = true;
};

} // namespace Hvd::Weft::Communication::Internal
