#include "communication/internal/Default.h"
#include "protocol/VELTRIX_Keys.h"

#include <QCoreApplication>

namespace Hvd::Weft::Communication::Internal
{

Default::Default(QObject* parent, VELTRIX* facade, Port* port, ClosePortWhenFinished close,
                 const VELTRIX_Timing& timing)
    : QObject(parent)
    , timing(timing)
    , facade(facade)
    , port(port)
    , session(new Session(this, facade, timing.sessionTimeoutMs))
    , closePortWhenFinished(close)
    , stepTimer(this)
{
    stepTimer.setSingleShot(true);
    stepTimer.setTimerType(Qt::PreciseTimer);
    connect(session, &Session::log, this, &Default::log);
    // The common wiring of every sequence: its session's answers and
    // timeout, and its step timer, each only while a run is in progress.
    connect(session, &Session::newData, this,
            [this](VELTRIX_Session* data)
            {
                if (isActive() && data != nullptr)
                    recieveStateMachine(*data);
            });
    connect(session, &Session::noResponse, this,
            [this]
            {
                if (isActive())
                    failRun(noResponseText());
            });
    connect(&stepTimer, &QTimer::timeout, this,
            [this]
            {
                if (isActive())
                    onStep();
            });
    // The shared port's entries and the stack's session errors are logged
    // once, by the owner of the port and the facade, not once per sequence.
}

void Default::incProgress(unsigned step)
{
    if (progressPercent + step <= 100)
        progressPercent += step;
    emit progress(progressPercent);
}

void Default::setProgress(unsigned percent)
{
    progressPercent = percent;
    emit progress(progressPercent);
}

QString Default::prependZero(const QMap<QString, QVariant>& map, const QString& key) const
{
    const QString text = map.value(key).toString();
    return text.size() == 1 ? QStringLiteral("0") + text : text;
}

Default::Message Default::message(const char* sourceText, const QStringList& args) const
{
    return message(metaObject()->className(), sourceText, args);
}

Default::Message Default::message(const char* context, const char* sourceText, const QStringList& args)
{
    Message result{QString::fromUtf8(sourceText), QCoreApplication::translate(context, sourceText)};
    for (const QString& arg : args)
    {
        result.log = result.log.arg(arg);
        result.user = result.user.arg(arg);
    }
    return result;
}

std::optional<Default::Message> Default::statusError(const QMap<QString, QVariant>& map,
                                                     Session::Command received) const
{
    if (map.value(VELTRIX_Keys::statusLow).toInt() == 0)
        return std::nullopt;
    return message(staticMetaObject.className(), QT_TR_NOOP("Device didn`t acknowledge command %1"),
                   {QString::number(received)});
}

std::optional<Default::Message> Default::commandError(Session::Command expected,
                                                      Session::Command received) const
{
    if (expected == received)
        return std::nullopt;
    return message(staticMetaObject.className(),
                   QT_TR_NOOP("Device responded with wrong command. Expected: %1 Received: %2"),
                   {QString::number(expected), QString::number(received)});
}

bool Default::rejectAnswer(const QMap<QString, QVariant>& map, Session::Command expected,
                           Session::Command received)
{
    std::optional<Message> failure = commandError(expected, received);
    if (!failure)
        failure = statusError(map, received);
    if (!failure)
        return false;
    logError(failure->log);
    failRun(failure->user);
    return true;
}

std::optional<QMap<QString, QVariant>> Default::acceptedAnswer(VELTRIX_Session& response,
                                                               const Sequence& sequence)
{
    QMap<QString, QVariant> map = Session::getCommandData(response);
    const auto expected = sequence.getCurrent();
    if (rejectAnswer(map, expected ? expected->command : VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_COMMAND,
                     response.getCommand()))
        return std::nullopt;
    return map;
}

void Default::closePortIfWanted()
{
    if (closePortWhenFinished == ClosePortWhenFinished::Yes)
        port->close();
}

void Default::failRun(const QString& userText)
{
    emit error(userText);
    resetRun();
    port->close();
}

void Default::lineLost(const QString& text)
{
    if (isActive())
        failRun(text);
}

void Default::abortRun(LogLevel level)
{
    emit log(level, QStringLiteral("Operation was aborted and com port was closed!"));
    resetRun();
    port->close();
}

} // namespace Hvd::Weft::Communication::Internal
