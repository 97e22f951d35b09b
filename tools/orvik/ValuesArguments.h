#pragma once

#include "components/commands/ReadValuesCommand.h"
#include "tools/orvik/CommandLine.h"

#include <QString>
#include <QStringList>

// The command line of `orvik values`: the port, which values, how many
// samples, averaging and the output format.
namespace ValuesArguments
{

enum class Format
{
    Text,
    Csv,
    Json,
};

// More is refused: every sample is a session of its own on the line.
inline constexpr std::uint32_t maxSamples = 100000;

struct Parsed : CommandLine::Parsed
{
    Hvd::Weft::Components::ReadValuesCommand::Request request;
    Format format = Format::Text;
};

// arguments[0] is the program and subcommand name ("orvik values").
Parsed parse(const QStringList& arguments);

} // namespace ValuesArguments
