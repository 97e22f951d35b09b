#include "components/commands/CompositeCommand.h"

#include "logging/Logger.h"
#include "logging/TypeName.h"

#include <algorithm>

namespace Hvd::Weft::Components
{

CompositeCommand::CompositeCommand(const std::vector<Command*>& commandList, bool detailed, QObject* parent)
    : Command(parent)
    , detailedProgress(detailed)
    , timer(new QTimer(this))
{
    timer->setSingleShot(true);
    timer->setInterval(0);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, &CompositeCommand::startNextCommand);
    for (Command* command : commandList)
    {
        if (!adopt(command))
            Logger::warn(getDepth(true), "Duplicate command {} is ignored", typeName(typeid(*command)));
    }
}

CompositeCommand::~CompositeCommand()
{
    cancel();
    doDisconnect();
}

bool CompositeCommand::adopt(Command* command)
{
    if (!command || std::find(commands.begin(), commands.end(), command) != commands.end())
        return false;
    commands.push_back(command);
    command->setParent(this);
    return true;
}

void CompositeCommand::addCommand(Command* command)
{
    if (isRunning())
        return;
    adopt(command);
}

QString CompositeCommand::getDescription() const
{
    return index < commands.size() ? commands[index]->getDescription() : QString();
}

void CompositeCommand::doConnect()
{
    for (Command* child : commands)
    {
        if (detailedProgress)
            connect(child, &Command::progressUpdated, this, &Command::progressUpdated);
        connect(child, &Command::finished, this, &CompositeCommand::finish);
        connect(child, &Command::warningOccurred, this, &Command::warningOccurred);
        connect(child, &Command::errorOccurred, this, &CompositeCommand::error);
    }
}

void CompositeCommand::doDisconnect()
{
    for (Command* child : commands)
        disconnect(child, nullptr, this, nullptr);
}

void CompositeCommand::doExecute()
{
    if (commands.empty())
    {
        Command::finish();
        return;
    }
    stopRequested = false;
    index = 0;
    timer->start();
}

void CompositeCommand::startNextCommand()
{
    Logger::debug(getDepth(true), "Executing command {}", index);
    commands[index]->execute();
}

void CompositeCommand::finish()
{
    ++index;
    if (!detailedProgress)
    {
        const Command* described = index < commands.size() ? commands[index] : commands.back();
        Q_EMIT progressUpdated(index, described->getDescription());
    }
    if (index >= commands.size() || stopRequested)
        Command::finish();
    else
        timer->start();
}

void CompositeCommand::doStop()
{
    stopRequested = true;
    timer->stop();
    Command* current = index < commands.size() ? commands[index] : nullptr;
    if (!current || !current->isRunning())
    {
        Command::finish();
        return;
    }
    Logger::debug(current->depth(), "Stopping {}", typeName(typeid(*current)));
    current->doStop();
    // A child that ended inside doStop has already ended the composite
    // through its signal; ending it again would report a second outcome.
    if (!isRunning())
        return;
    // A child still running ends later through its finished, which then
    // ends the composite because of the stop flag.
    if (!current->isRunning())
        Command::finish();
}

void CompositeCommand::doCancel()
{
    stopRequested = true;
    timer->stop();
    Command* current = index < commands.size() ? commands[index] : nullptr;
    if (current && current->isRunning())
    {
        Logger::debug(current->depth(), "Canceling {}", typeName(typeid(*current)));
        current->doCancel();
        current->doDisconnect();
        current->setRunning(false);
    }
}

} // namespace Hvd::Weft::Components
