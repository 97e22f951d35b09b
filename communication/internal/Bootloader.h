#pragma once

#include "bootloader/BootloaderHandler.h"
#include "communication/Address.h"
#include "communication/Device.h"
#include "communication/internal/Default.h"
#include "communication/internal/Sequence.h"

#include <QString>
#include <QTimer>

#include <cstdint>

namespace Hvd::Weft::Communication::Internal
{

// A firmware update: command 133 starts the sensor's bootloader, then the
// bootloader front end takes the serial port over from the VELTRIX link
// layer and transfers the image. The port is closed when it ends.
class Bootloader : public Default
{
    Q_OBJECT

public:
    enum class Type : std::uint8_t
    {
        Undefined = 0,
        MSP432 = 1,
        TIVA = 2,
    };

    Bootloader(QObject* parent, VELTRIX* facade, Port* port, const VELTRIX_Timing& timing);

    bool isRunning() const { return phase != Phase::Idle; }

    void start(Address::Type type, const Device& device, Type blType, const QString& fileName,
               bool rescueMode, bool leavePortOpenOnError);

    BootloaderHandler* getHandler() const { return handler; }
    // The port is gone: ends the run even when the port was to stay open.
    void lineLost(const QString& text) override;

signals:
    void success();

public slots:
    void abort() override;
    void failed(const QString& text);
    void recieveStateMachine(VELTRIX_Session& session) override;

protected:
    bool isActive() const override { return phase != Phase::Idle; }
    void resetRun() override;
    void failRun(const QString& userText) override { failed(userText); }

private:
    enum class Phase : std::uint8_t
    {
        Idle = 0,
        AwaitingBootloader = 1,
        Uploading = 2,
    };

    QString noResponseText() const override;
    void onStep() override {}
    void handOverLater();
    void onHandOver();
    void onState(::Bootloader::BLSTATE state);
    void onError(const QString& text);

    Phase phase = Phase::Idle;
    Sequences sequences;
    Device device;
    QString fileName;
    bool leavePortOpenOnError = false;
    BootloaderHandler* handler;
    QTimer handOverTimer;
};

} // namespace Hvd::Weft::Communication::Internal
