#include "tools/orvik/ValuesRun.h"

#include "logging/Logger.h"
#include "tools/orvik/ValuesOutput.h"

using Hvd::Weft::Communication::Slots;
using Hvd::Weft::Components::Command;
using Hvd::Weft::Components::Logger;
using Hvd::Weft::Components::ReadValuesCommand;

ValuesRun::ValuesRun(const ValuesArguments::Parsed& parsed, const VELTRIX_Timing& timing, QObject* parent)
    : SensorRun(parsed.port, true, timing, parent)
    , arguments(parsed)
{
}

ValuesRun::~ValuesRun()
{
    // Before the service it listens to.
    command.reset();
}

void ValuesRun::runJob()
{
    Logger::info("Reading the values of the device on {}", port.toStdString());
    command = std::make_unique<ReadValuesCommand>(stack.getContext(), stack.getService(), arguments.request,
                                                  nullptr);
    follow(*command);
    connect(command.get(), &ReadValuesCommand::sampleReceived, this,
            [this](const Slots& sample)
            {
                const QString line =
                    ValuesOutput::sampleLine(static_cast<int>(command->getSamples().size()), sample);
                // Text output is the samples themselves; csv and json come whole at the end.
                if (arguments.format == ValuesArguments::Format::Text)
                    Q_EMIT printed(line);
                else
                    Q_EMIT progressed(line);
            });
    connect(command.get(), &Command::finished, this, &ValuesRun::readFinished);
    command->execute();
}

void ValuesRun::stopJob()
{
    if (command)
        command->cancel();
}

void ValuesRun::readFinished()
{
    const QList<Slots>& samples = command->getSamples();
    const std::optional<Slots>& average = command->getAverage();
    const qsizetype averaged = samples.size() - 2 * arguments.request.topBotSamplesToRemove;
    switch (arguments.format)
    {
    case ValuesArguments::Format::Text:
        if (average)
            Q_EMIT printed(ValuesOutput::averageLine(*average, averaged));
        break;
    case ValuesArguments::Format::Csv:
        Q_EMIT printed(ValuesOutput::csv(samples, average));
        break;
    case ValuesArguments::Format::Json:
        Q_EMIT printed(ValuesOutput::json(arguments.request.source, samples, average, averaged));
        break;
    }
    Logger::info("Read {} samples of the device on {}", samples.size(), port.toStdString());
    jobSucceeded();
}
