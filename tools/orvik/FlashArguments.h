#pragma once

#include "components/commands/UploadFirmwareCommand.h"
#include "tools/orvik/CommandLine.h"

#include <QStringList>

// The command line of `orvik flash`: the port, the microcontroller family,
// the TI-TXT image and the rescue and port options.
namespace FlashArguments
{

struct Parsed : CommandLine::Parsed
{
    Hvd::Weft::Components::UploadFirmwareCommand::Request request;
};

// arguments[0] is the program and subcommand name ("orvik flash").
Parsed parse(const QStringList& arguments);

} // namespace FlashArguments
