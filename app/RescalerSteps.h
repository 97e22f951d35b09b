#pragma once

#include "communication/DeviceService.h"
#include "protocol/VELTRIX.h"

#include <QString>

#include <spdlog/sinks/sink.h>

#include <memory>
#include <optional>
#include <string>

namespace Hvd::Weft::Components
{
class DeviceContext;
class ReadParametersCommand;
} // namespace Hvd::Weft::Components
class ParameterizeOrvikCommand;

// The steps of one rescale that the window and the command-line companion
// share, so that both do exactly the same to the sensor. User-visible texts
// are translated in the context of OrvikWidget.
namespace RescalerSteps
{

// A user-visible text of the rescaler, translated in the window's context.
QString windowText(const char* text);

inline constexpr const char* descriptionResource = ":/N5Q2-Orvik.desc.json";
inline constexpr const char* settingsSchemaFile = "Resources/DeviceSettings.schema.json";
inline constexpr const char* descriptionSchemaFile = "Resources/DeviceDescription.schema.json";

// Imports the shipped description (schemas read from the working directory)
// into the context. Logs the outcome; on failure returns the text to show.
std::optional<QString> importDeviceDescription(Hvd::Weft::Components::DeviceContext& context);

// Points the read command at the connected sensor's product variant name;
// on failure returns (logged) the text to show.
std::optional<QString> prepareCalibratedDiameterRead(const Hvd::Weft::Components::DeviceContext& context,
                                                     Hvd::Weft::Components::ReadParametersCommand& read);

// Product variant names below this number give the diameter in inches,
// from it on in millimetres.
inline constexpr double inchLimit = 40;

// The calibrated diameter in metres that a product variant name such as
// "Orvik 82.5" or "Orvik 3.068" carries; empty if it holds no number.
std::optional<double> calibratedDiameter(const QString& variantName);

// Feeds the calibrated diameter that the read command delivers into the
// rescaling command; a name without a number ends the read with an error.
void connectCalibratedDiameter(Hvd::Weft::Components::ReadParametersCommand& read,
                               ParameterizeOrvikCommand& rescale);

// The protocol options of the program's device service: the real serial
// port, forgiving a port without modem lines (a pseudo-terminal such as the
// simulated sensor) while a real adapter's refused DTR/RTS change is still
// reported.
VELTRIX_Options serialPortOptions();

// The rotating log file "<baseName>.log" in the working directory, not
// rotated on open. Null, with the reason in problem, when it cannot be opened
// (a read-only folder): the program then runs without it.
std::shared_ptr<spdlog::sinks::sink> rotatingLogFile(const std::string& baseName, std::size_t maxSize,
                                                     std::size_t files, std::string* problem);

// Writes the service's log lines into the application log, from the
// service's own thread, as "[thread] entry" at the level they carry.
void forwardServiceLog(Hvd::Weft::Communication::DeviceService& service);
void writeServiceLog(Hvd::Weft::Communication::LogLevel level, const QString& entry);

// A calculated value as the user sees it: the row it goes to, the number and
// the unit (rich text). Only the inner diameter and the maximum flow are shown.
struct ShownValue
{
    QString row;
    double value = 0;
    QString unit;
};
std::optional<ShownValue> shownValue(const QString& name, double value, const QString& unit);

} // namespace RescalerSteps
