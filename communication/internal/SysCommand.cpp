#include "communication/internal/SysCommand.h"
#include "protocol/VELTRIX_Keys.h"

namespace Hvd::Weft::Communication::Internal
{

namespace
{

QString answerEntry(SysCommand::Command command)
{
    switch (command)
    {
    case SysCommand::Command::SetCurrentAsFactoryDefaults:
        return QStringLiteral("Device responded to command 143: values were written as factory defaults");
    case SysCommand::Command::ResetToFactoryDefaults:
        return QStringLiteral("Device responded to command 143: values were reset to factory defaults");
    case SysCommand::Command::ResetNvm:
        return QStringLiteral("Device responded to command 143: NVM was reset");
    case SysCommand::Command::RestartDevice:
        return QStringLiteral("Device responded to command 143: Device restarted");
    }
    return {};
}
} // namespace

SysCommand::SysCommand(QObject* parent, VELTRIX* facade, Port* port, ClosePortWhenFinished close,
                       const VELTRIX_Timing& timing)
    : Default(parent, facade, port, close, timing)
    , resetNvmTimer(this)
    , storePauseTimer(this)
{
    for (QTimer* timer : {&resetNvmTimer, &storePauseTimer})
    {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    connect(&resetNvmTimer, &QTimer::timeout, this, &SysCommand::onResetNvmWaitOver);
    connect(&storePauseTimer, &QTimer::timeout, this,
            [this]
            {
                if (running)
                    proceed();
            });
}

void SysCommand::systemCommand(Address::Type type, const Device& target, Command command)
{
    if (running)
    {
        const Message text = message(QT_TR_NOOP("Current operation not finished!"));
        logError(text.log);
        emit error(text.user);
        return;
    }
    startSystemCommand(type, target, {command});
}

void SysCommand::startSystemCommand(Address::Type type, const Device& target, const QList<Command>& list)
{
    if (list.isEmpty())
        return;
    running = true;
    setProgress(0);
    stepTimer.stop();
    resetNvmTimer.stop();
    storePauseTimer.stop();

    sequences.clear();
    for (Command command : list)
    {
        QMap<QString, QVariant> request =
            Session::getDefaultData(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_143);
        request.insert(VELTRIX_Keys::systemcommand, static_cast<unsigned>(command));
        request.insert(VELTRIX_Keys::payload, 0u);
        sequences.list.append(
            Sequence(type, Session::Data{VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_143, request}));
    }
    device = target;
    commands = list;
    currentCommand = list.front();

    if (device.name == bootloaderDeviceName)
    {
        closePortIfWanted();
        running = false;
        emit success(currentCommand);
        return;
    }

    session->startWith(device.address.asArray(type), sequences.list.front().items,
                       timing.sysCommand.startDelayMs);
    if (currentCommand == Command::ResetNvm)
        resetNvmTimer.start(timing.resetNvmWaitMs);
    else
        incProgress(10);
}

void SysCommand::onResetNvmWaitOver()
{
    setProgress(100);
    closePortIfWanted();
    running = false;
    emit success(currentCommand);
    abort();
}

void SysCommand::recieveStateMachine(VELTRIX_Session& response)
{
    Sequence* sequence = sequences.running();
    if (!running || sequence == nullptr)
        return;
    if (!acceptedAnswer(response, *sequence))
        return;
    const Session::Command received = response.getCommand();

    const unsigned step = 90 / static_cast<unsigned>(sequences.list.size());
    if (progressPercent + step <= 100)
        progressPercent += step;
    emit progress(progressPercent);

    bool storing = false;
    if (received == VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_143 && !commands.isEmpty())
    {
        currentCommand = commands.takeFirst();
        storing = currentCommand == Command::SetCurrentAsFactoryDefaults;
        trace(answerEntry(currentCommand));
    }

    if (sequence->hasFurtherItem())
        ++sequence->current;
    else if (storing)
        storePauseTimer.start(timing.factoryDefaultsPauseMs);
    else
        proceed();
}

void SysCommand::proceed()
{
    if (sequences.hasFurtherSequence())
        stepTimer.start(timing.sysCommand.stepDelayMs);
    else
        finish();
}

void SysCommand::onStep()
{
    const auto next = sequences.getNext();
    if (!next)
    {
        finish();
        return;
    }
    session->startWith(device.address.asArray(next->addressType), next->items, 0);
}

void SysCommand::finish()
{
    // A memory reset always ends with its wait, even when the device answered
    // in time, so that it is reported once and the port is closed after it.
    if (resetNvmTimer.isActive())
        return;
    setProgress(100);
    closePortIfWanted();
    running = false;
    emit success(currentCommand);
}

QString SysCommand::noResponseText() const
{
    return tr("Device didn`t respond -> timeout! !");
}

void SysCommand::failed(const QString& text)
{
    failRun(text);
}

void SysCommand::abort()
{
    abortRun();
}

void SysCommand::resetRun()
{
    stepTimer.stop();
    resetNvmTimer.stop();
    storePauseTimer.stop();
    session->stop();
    running = false;
    setProgress(0);
}

} // namespace Hvd::Weft::Communication::Internal
