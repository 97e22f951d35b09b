#pragma once

#include "communication/Address.h"
#include "communication/Device.h"
#include "communication/internal/Default.h"
#include "communication/internal/Sequence.h"

#include <QList>
#include <QMetaType>
#include <QTimer>

#include <cstdint>

namespace Hvd::Weft::Communication::Internal
{

// Device-level actions of command 143, one session per sub-command.
class SysCommand : public Default
{
    Q_OBJECT

public:
    // The value is also the sub-command code of the request.
    enum class Command : std::uint8_t
    {
        SetCurrentAsFactoryDefaults = 0,
        ResetToFactoryDefaults = 1,
        ResetNvm = 2,
        RestartDevice = 3,
    };
    Q_ENUM(Command)

    SysCommand(QObject* parent, VELTRIX* facade, Port* port, ClosePortWhenFinished close,
               const VELTRIX_Timing& timing);

    bool isRunning() const { return running; }

    // Refused with an error while a list runs.
    void systemCommand(Address::Type type, const Device& device, Command command);
    void startSystemCommand(Address::Type type, const Device& device, const QList<Command>& commands);

signals:
    void success(Hvd::Weft::Communication::Internal::SysCommand::Command cmd);

public slots:
    void abort() override;
    void failed(const QString& text);
    void recieveStateMachine(VELTRIX_Session& session) override;

protected:
    void resetRun() override;

private:
    QString noResponseText() const override;
    void onStep() override;
    void onResetNvmWaitOver();
    // After an answer (and the pause for stored factory defaults): the next
    // sub-command, or the end.
    void proceed();
    void finish();

    Sequences sequences;
    Device device;
    QList<Command> commands;
    Command currentCommand = Command::SetCurrentAsFactoryDefaults;
    QTimer resetNvmTimer;
    // The device stores its factory defaults after answering; nothing is
    // sent until it is done.
    QTimer storePauseTimer;
};

} // namespace Hvd::Weft::Communication::Internal

Q_DECLARE_METATYPE(Hvd::Weft::Communication::Internal::SysCommand::Command)
