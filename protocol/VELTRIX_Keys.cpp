#include "protocol/VELTRIX_Keys.h"

namespace VELTRIX_Keys
{

QString variableCount(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command)
{
    return command == VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_139
               ? QStringLiteral("Number of Burstvariables")
               : QStringLiteral("Number of Devicevariables");
}

QString variableUnit(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command, int i)
{
    return variableValue(command, i) + QStringLiteral(" Unit");
}

QString variableValue(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command, int i)
{
    const QString prefix = command == VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_139
                               ? QStringLiteral("Burstvariable ")
                               : QStringLiteral("Devicevariable ");
    return prefix + QString::number(i);
}

QString statusString(int i)
{
    return QStringLiteral("Statusstring ") + QString::number(i);
}

} // namespace VELTRIX_Keys
