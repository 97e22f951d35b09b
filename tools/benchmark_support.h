#pragma once

// What the benchmarks that set a run against the protocol's floor share.

#include "protocol/serial/FSerialPort.h"

#include <QCoreApplication>
#include <QFile>
#include <QString>

// Milliseconds `bytes` take on the line at `baud`: eight data bits, parity
// and a stop bit, eleven bits a character.
inline double lineMs(qint64 bytes, int baud)
{
    const int bits =
        FSerialPort::bitsPerCharacter(FSerialPort::Data8, FSerialPort::OddParity, FSerialPort::OneStop);
    return static_cast<double>(FSerialPort::lineTimeNs(bytes, bits, static_cast<quint32>(baud))) / 1e6;
}

// Links the build's Resources/ and translations/ into `directory`, so that a
// program started there finds them and writes its log there; false if not.
inline bool linkRuntimeFiles(const QString& directory)
{
    const QString bin = QCoreApplication::applicationDirPath();
    for (const char* name : {"Resources", "translations"})
    {
        if (!QFile::link(bin + QLatin1Char('/') + QLatin1String(name),
                         directory + QLatin1Char('/') + QLatin1String(name)))
            return false;
    }
    return true;
}
