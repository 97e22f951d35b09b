#include "communication/internal/Session.h"

#include "protocol/VELTRIX.h"

namespace Hvd::Weft::Communication::Internal
{

Session::Session(QObject* parent, VELTRIX* facade, int timeoutMs)
    : QObject(parent)
    , facade(facade)
    , record(new VELTRIX_Session(this))
    , responseTimer(this)
    , startTimer(this)
{
    responseTimer.setSingleShot(true);
    responseTimer.setTimerType(Qt::PreciseTimer);
    responseTimer.setInterval(timeoutMs);
    startTimer.setSingleShot(true);
    startTimer.setTimerType(Qt::PreciseTimer);

    connect(&responseTimer, &QTimer::timeout, this, &Session::onTimeout);
    connect(&startTimer, &QTimer::timeout, this, &Session::sendNow);
    connect(facade, &VELTRIX::sessionNewInfo, this, &Session::newInfo);
    connect(facade, &VELTRIX::sessionNewData, this, &Session::onResponse);
    connect(this, &Session::startSession, facade, &VELTRIX::sessionStart);
    connect(this, &Session::stopSession, facade, &VELTRIX::sessionStop);
}

void Session::startWith(const std::array<std::uint8_t, 5>& address, const QList<Data>& list, int delayMs)
{
    if (running)
    {
        emit log(LogLevel::Trace, QStringLiteral("A command is already in progress."));
        return;
    }
    if (list.isEmpty())
        return;

    responseTimer.stop();
    startTimer.stop();
    ++generation;
    commandCount = static_cast<int>(list.size());
    pendingResponses = commandCount;

    const QString addressText = getAddressAsString(address);
    if (list.size() == 1)
    {
        emit log(LogLevel::Trace, QStringLiteral("Starting single command: %1 at address: %2")
                                      .arg(static_cast<int>(list.front().command))
                                      .arg(addressText));
    }
    else
    {
        emit log(LogLevel::Trace,
                 QStringLiteral("A list of commands to address %1 will be send: ").arg(addressText));
        for (const Data& item : list)
            emit log(LogLevel::Trace, QStringLiteral("Command: %1").arg(static_cast<int>(item.command)));
    }

    record->reset();
    record->setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER);
    record->setAddress(address.data());
    for (const Data& item : list)
    {
        record->setDataForCommand(item.command, item.data);
        record->addCommandToQueue(item.command, 1, 1);
    }

    if (delayMs != 0)
        startTimer.start(delayMs);
    else
        sendNow();
}

void Session::sendNow()
{
    emit startSession(record);
    responseTimer.start();
    running = true;
}

void Session::stop()
{
    responseTimer.stop();
    startTimer.stop();
    ++generation;
    running = false;
    emit stopSession();
}

void Session::onResponse(VELTRIX_Session* data)
{
    if (!running || data == nullptr)
        return;
    responseTimer.stop();
    startTimer.stop();
    running = false;
    emit log(LogLevel::Trace,
             QStringLiteral("Command %1 received").arg(static_cast<int>(data->getCommand())));

    const unsigned before = generation;
    emit newData(data);
    // The receiver ended or replaced this session; its decision stands.
    if (generation != before)
        return;

    if (commandCount >= 2)
    {
        const int pendingBefore = pendingResponses--;
        if (pendingBefore == 1)
            return;
        responseTimer.start();
        running = true;
    }
}

void Session::onTimeout()
{
    if (!running)
        return;
    responseTimer.stop();
    startTimer.stop();
    running = false;
    emit noResponse();
    emit log(LogLevel::Error, tr("Device didn't answer in time!"));
}

QMap<QString, QVariant> Session::getCommandData(VELTRIX_Session& session)
{
    QMap<QString, QVariant> map;
    session.getDefaultDataForCommand(session.getCommand(), &map);
    session.getDataForCommand(session.getCommand(), &map);
    return map;
}

QMap<QString, QVariant> Session::getDefaultData(Command command)
{
    const VELTRIX_Session scratch;
    QMap<QString, QVariant> map;
    scratch.getDefaultDataForCommand(command, &map);
    return map;
}

QString Session::getAddressAsString(const std::array<std::uint8_t, 5>& address) const
{
    QString text;
    for (std::uint8_t byte : address)
        text += QString::number(byte);
    return text;
}

} // namespace Hvd::Weft::Communication::Internal
