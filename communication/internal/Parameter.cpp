#include "communication/internal/Parameter.h"
#include "protocol/VELTRIX_Keys.h"

namespace Hvd::Weft::Communication::Internal
{

namespace
{

Session::Data readRequest(std::uint16_t address, qsizetype length)
{
    Session::Data request{VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130,
                          Session::getDefaultData(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130)};
    request.data.insert(VELTRIX_Keys::address, static_cast<unsigned>(address));
    request.data.insert(VELTRIX_Keys::bytesToRead, static_cast<unsigned>(length));
    return request;
}

Session::Data writeRequest(std::uint16_t address, const QByteArray& bytes)
{
    Session::Data request{VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131,
                          Session::getDefaultData(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131)};
    request.data.insert(VELTRIX_Keys::address, static_cast<unsigned>(address));
    request.data.insert(VELTRIX_Keys::bytesToWrite, static_cast<unsigned>(bytes.size()));
    request.data.insert(VELTRIX_Keys::bytes, bytes);
    return request;
}

Sequence takeIntoRam(Address::Type type)
{
    return Sequence(
        type, Session::Data{VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_132,
                            Session::getDefaultData(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_132)});
}

QString hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex());
}
} // namespace

Parameter::Parameter(QObject* parent, VELTRIX* facade, Port* port, ClosePortWhenFinished close,
                     const VELTRIX_Timing& timing)
    : Default(parent, facade, port, close, timing)
{
}

Sequences Parameter::readPlan(const Chunks<50>& chunks)
{
    Sequences plan;
    for (const auto& chunk : chunks.chunks)
        plan.list.append(Sequence(chunk.type, readRequest(chunk.address, chunk.data.size())));
    return plan;
}

Sequences Parameter::writePlan(const Chunks<50>& chunks, bool readBack)
{
    Sequences plan;
    if (chunks.chunks.isEmpty())
        return plan;
    Address::Type previous = chunks.chunks.front().type;
    for (const auto& chunk : chunks.chunks)
    {
        if (chunk.type != previous)
            plan.list.append(takeIntoRam(previous));
        QList<Session::Data> items{writeRequest(chunk.address, chunk.data)};
        if (readBack)
            items.append(readRequest(chunk.address, chunk.data.size()));
        plan.list.append(Sequence(chunk.type, items));
        previous = chunk.type;
    }
    plan.list.append(takeIntoRam(previous));
    return plan;
}

bool Parameter::startRead(const Chunks<50>& chunks)
{
    return start(Reading, chunks, false);
}

bool Parameter::startWrite(const Chunks<50>& chunks, bool readBack)
{
    return start(Writing, chunks, readBack);
}

bool Parameter::start(Mode newMode, const Chunks<50>& chunks, bool readBack)
{
    if (isRunning())
        return false;
    const bool reading = newMode == Reading;
    if (!chunks.valid)
    {
        const Message text =
            reading ? message(QT_TR_NOOP(
                          "Read: the amount of addresses is different than the amount of parameters"))
                    : message(QT_TR_NOOP(
                          "Write: the amount of addresses is different than the amount of parameters"));
        logError(text.log);
        emit error(text.user);
        return true;
    }

    stepTimer.stop();
    retryPending = false;
    retryCount = 0;
    lastError = {};
    if (reading)
        readData.clear();
    mode = newMode;
    answeredCommands = 0;
    setProgress(0);

    sequences = reading ? readPlan(chunks) : writePlan(chunks, readBack);
    device = chunks.device;
    if (reading)
        remainingReads = static_cast<int>(sequences.list.size());
    if (sequences.list.isEmpty())
    {
        mode = Idle;
        const Message text = reading ? message(QT_TR_NOOP("Didn`t find any data to read!"))
                                     : message(QT_TR_NOOP("Didn`t find any data to write!"));
        logError(text.log);
        emit error(text.user);
        return true;
    }
    totalCommands = sequences.commandCount();

    const Sequence& first = sequences.list.front();
    session->startWith(device.address.asArray(first.addressType), first.items, timing.parameter.startDelayMs);
    incProgress(10);
    return true;
}

void Parameter::recieveStateMachine(VELTRIX_Session& response)
{
    Sequence* sequence = sequences.running();
    if (!isRunning() || sequence == nullptr)
        return;
    const auto answer = acceptedAnswer(response, *sequence);
    if (!answer)
        return;
    const QMap<QString, QVariant>& map = *answer;
    const Session::Command received = response.getCommand();

    ++answeredCommands;
    const unsigned next = totalCommands == 0 ? 100 : 90 * answeredCommands / totalCommands + 10;
    if (next <= 100)
        progressPercent = next;
    emit progress(progressPercent);

    if (!evaluate(received, *sequence, map))
        return;

    if (sequence->hasFurtherItem())
        ++sequence->current;
    else if (sequences.hasFurtherSequence())
        stepTimer.start(timing.parameter.stepDelayMs);
    else
        finish();
}

bool Parameter::evaluate(Session::Command command, Sequence& sequence, const QMap<QString, QVariant>& map)
{
    switch (command)
    {
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131:
        trace(QStringLiteral("Device responded to command 131: Value was written"));
        return true;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_132:
        trace(QStringLiteral("Device responded to command 132: values were taken into RAM"));
        return true;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130:
        return mode == Writing ? evaluateReadBack(sequence, map) : evaluateRead(sequence, map);
    default:
        return true;
    }
}

bool Parameter::evaluateReadBack(Sequence& sequence, const QMap<QString, QVariant>& map)
{
    const int index = sequence.current;
    const QMap<QString, QVariant> written =
        index > 0 ? sequence.items[index - 1].data : QMap<QString, QVariant>{};
    const QByteArray sent = written.value(VELTRIX_Keys::bytes).toByteArray();
    const QByteArray read = map.value(VELTRIX_Keys::bytes).toByteArray();
    const QString address = QString::number(written.value(VELTRIX_Keys::address).toUInt());

    // An answer the stack could not decode carries no bytes worth comparing.
    const bool decoded = map.value(VELTRIX_Keys::universalError).toInt() == 0;
    if (decoded && sent == read)
    {
        retryPending = false;
        retryCount = 0;
        lastError = {};
        trace(QStringLiteral("Device responded to command 130: Read value corresponds to sent value: %1 to "
                             "NVM address: %2")
                  .arg(hex(read), address));
        return true;
    }

    lastError =
        message(QT_TR_NOOP("Device responded to command 130: Sent value didn't correspond to read value: "
                           "NVM address: %1 written: %2 read: %3"),
                {address, hex(sent), hex(read)});
    logError(lastError.log);
    retryPending = true;
    const bool last = !sequence.hasFurtherItem();
    sequence.current = 0;
    if (last)
        stepTimer.start(timing.parameter.stepDelayMs);
    return false;
}

bool Parameter::evaluateRead(const Sequence& sequence, const QMap<QString, QVariant>& map)
{
    const QMap<QString, QVariant> request = sequence.items[sequence.current].data;
    const QString address = QString::number(request.value(VELTRIX_Keys::address).toUInt());
    const QByteArray bytes = map.value(VELTRIX_Keys::bytes).toByteArray();
    const auto requested = static_cast<qsizetype>(request.value(VELTRIX_Keys::bytesToRead).toUInt());

    // Missing or extra bytes would move every later value onto the wrong parameter.
    if (map.value(VELTRIX_Keys::universalError).toInt() != 0 || bytes.size() != requested)
    {
        const Message text =
            message(QT_TR_NOOP("Device responded to command 130 without the requested data: NVM address: %1 "
                               "requested bytes: %2 received bytes: %3"),
                    {address, QString::number(requested), QString::number(bytes.size())});
        logError(text.log);
        failed(text.user);
        return false;
    }

    readData.append(bytes);
    QString values;
    for (char byte : bytes)
        values += QString::number(static_cast<std::uint8_t>(byte)) + QStringLiteral("; ");
    trace(QStringLiteral("Device responded to command 130: Value %1 from NVM address: %2 recieved")
              .arg(values, address));
    if (--remainingReads == 0)
        emit readValue(readData);
    return true;
}

void Parameter::onStep()
{
    if (retryPending)
    {
        retryPending = false;
        ++retryCount;
        if (retryCount > maxRetries)
        {
            retryCount = 0;
            const QString prefix = QStringLiteral("Exceeded max retries: ");
            logError(prefix + lastError.log);
            failed(tr("Exceeded max retries: ") + lastError.user);
            return;
        }
        sendRunning();
        return;
    }
    if (sequences.getNext())
        sendRunning();
    else
        finish();
}

void Parameter::sendRunning()
{
    const Sequence* sequence = sequences.running();
    if (sequence != nullptr)
        session->startWith(device.address.asArray(sequence->addressType), sequence->items, 0);
}

void Parameter::finish()
{
    setProgress(100);
    closePortIfWanted();
    mode = Idle;
    session->stop();
    emit success();
}

QString Parameter::noResponseText() const
{
    return tr("Device didn`t respond -> timeout! !");
}

void Parameter::failed(const QString& text)
{
    failRun(text);
}

void Parameter::abort()
{
    abortRun();
}

void Parameter::resetRun()
{
    setProgress(0);
    stepTimer.stop();
    session->stop();
    retryPending = false;
    retryCount = 0;
    lastError = {};
    mode = Idle;
    totalCommands = 0;
}

} // namespace Hvd::Weft::Communication::Internal
