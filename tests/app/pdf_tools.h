#pragma once

// Reading a PDF back with poppler-utils (installed by scripts/setup).

#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

namespace PdfTools
{

// What `program` (pdftotext, pdfinfo, pdfimages) prints for `arguments`; a
// run that fails fails the test.
inline QString output(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    const bool finished = process.waitForFinished(30000);
    EXPECT_TRUE(finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        << program.toStdString() << ": " << process.readAllStandardError().toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace PdfTools
