#pragma once

#include "protocol/VELTRIX_Session.h"

#include <QString>

// The keys of the data maps of every command, in one place: the session
// record's defaults, the payload codec, the sequences and the simulated
// sensor all name them from here, so that a misspelt key does not compile.
namespace VELTRIX_Keys
{
inline const QString statusHigh = QStringLiteral("Status High");
inline const QString statusLow = QStringLiteral("Status Low");
inline const QString universalError = QStringLiteral("Universal Error");
inline const QString error = QStringLiteral("Error");
inline const QString databytesMaster = QStringLiteral("Databytes Master");
inline const QString databytesSlave = QStringLiteral("Databytes Slave");
inline const QString baudrateBitmask = QStringLiteral("BaudrateBitmask");
inline const QString baudrate = QStringLiteral("Baudrate");
inline const QString address = QStringLiteral("Address");
inline const QString bytesToRead = QStringLiteral("BytesToRead");
inline const QString bytesToWrite = QStringLiteral("BytesToWrite");
inline const QString bytes = QStringLiteral("Bytes");
inline const QString diagCode = QStringLiteral("DiagCode");
inline const QString diagValue = QStringLiteral("DiagValue");
inline const QString version = QStringLiteral("Version");
inline const QString subversion = QStringLiteral("Subversion");
inline const QString revisionYear = QStringLiteral("Revision Year");
inline const QString revisionMonth = QStringLiteral("Revision Month");
inline const QString revisionDay = QStringLiteral("Revision Day");
inline const QString addressVendorId = QStringLiteral("Address Vendor ID");
inline const QString addressSlave = QStringLiteral("Address Slave");
inline const QString addressSubslave = QStringLiteral("Address Subslave");
inline const QString devicetypestring = QStringLiteral("Devicetypestring");
inline const QString systemcommand = QStringLiteral("Systemcommand");
inline const QString payload = QStringLiteral("Payload");

// "Number of Devicevariables" (138) or "Number of Burstvariables" (139).
QString variableCount(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command);
// "Devicevariable 3 Unit" / "Burstvariable 3 Unit", i from 1 to 8.
QString variableUnit(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command, int i);
// "Devicevariable 3" / "Burstvariable 3".
QString variableValue(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command, int i);
// "Statusstring 1" to "Statusstring 8".
QString statusString(int i);
} // namespace VELTRIX_Keys
