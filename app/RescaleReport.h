#pragma once

#include "communication/Device.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

// What one successful rescale changed, for the service record.
struct RescaleReport
{
    QDateTime time;                          // when the rescale ended
    QString port;                            // e.g. /dev/ttyUSB0
    Hvd::Weft::Communication::Device sensor; // "-" in every field not known
    QString oldSizeName;                     // ProductVariantName before, e.g. "Orvik 82.5"
    QString newSizeName;                     // after, e.g. "Orvik 50"
    QString sizeCode;                        // the chosen size's code, e.g. "D1H" (may be empty)
    double innerDiameter = 0;                // in lengthUnit, as shown to the user
    QString lengthUnit;                      // "mm" or "in"
    double oldKFactor = 0;
    double newKFactor = 0;
    double measuringRangeStart = 0; // in flowUnit
    double measuringRangeEnd = 0;   // in flowUnit
    QString flowUnit;               // plain text, e.g. "m³/h" or "gal/min"
    QString outputUnit;             // plain text
    QString temperatureUnit;        // plain text, e.g. "°C"
    QString backupFile;             // absolute path of the settings file that undoes the rescale

    // The keys are read by scripts: keep them stable. The time is local
    // time with its offset (ISO 8601); the k-factors are written with the
    // fewest digits that read back to the sensor's single-precision value.
    QJsonObject toJson() const;
    // The report as one page of rich text (what the PDF shows).
    QString html() const;

    struct Files
    {
        QString json;
        QString pdf;
    };
    // Writes `<basePath>.report.json` and `<basePath>.report.pdf` (basePath =
    // a full path without suffix). Both or neither: on any failure, what was
    // written is removed and `error` says what failed (file name + reason).
    // Needs a QGuiApplication for the PDF.
    std::optional<Files> write(const QString& basePath, QString* error) const;
};
