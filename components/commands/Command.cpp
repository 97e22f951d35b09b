#include "components/commands/Command.h"

#include "logging/Logger.h"
#include "logging/TypeName.h"

namespace Hvd::Weft::Components
{

namespace
{
Command* nearestCommand(QObject* object)
{
    for (; object; object = object->parent())
        if (auto* command = qobject_cast<Command*>(object))
            return command;
    return nullptr;
}

const int systemTypeRegistration = qRegisterMetaType<System>("Hvd::Weft::Components::System");
} // namespace

Command::Command(QObject* parent)
    : QObject(parent)
    , parentCommand(nearestCommand(parent))
{
    (void)systemTypeRegistration;
}

void Command::setParent(QObject* parent)
{
    QObject::setParent(parent);
    parentCommand = nearestCommand(parent);
    cachedDepth = depthUnknown;
}

unsigned char Command::depth()
{
    if (cachedDepth == depthUnknown)
        cachedDepth = parentCommand ? static_cast<unsigned char>(parentCommand->depth() + 2) : 0;
    return cachedDepth;
}

unsigned char Command::getDepth(bool)
{
    return static_cast<unsigned char>(depth() + 1);
}

void Command::execute()
{
    if (running)
        return;
    Logger::debug(depth(), "Executing {} ({})", typeName(typeid(*this)), getDescription().toStdString());
    Q_EMIT progressUpdated(0, getDescription());
    if (!checkPreconditions())
        return;
    running = true;
    doConnect();
    doExecute();
}

void Command::finish()
{
    doDisconnect();
    endFinished();
}

void Command::endFinished()
{
    Logger::debug(depth(), "Finished {}", typeName(typeid(*this)));
    running = false;
    Q_EMIT finished();
}

void Command::error(const QString& message, System system, bool disconnected)
{
    doDisconnect();
    Logger::debug(depth(), "Error in {}", typeName(typeid(*this)));
    running = false;
    Q_EMIT errorOccurred(message, system, disconnected);
}

void Command::stop()
{
    if (!running)
        return;
    Logger::debug(depth(), "Stopping {}", typeName(typeid(*this)));
    doStop();
}

void Command::cancel()
{
    if (!running)
        return;
    Logger::debug(depth(), "Canceling {}", typeName(typeid(*this)));
    doCancel();
    doDisconnect();
    running = false;
}

} // namespace Hvd::Weft::Components
