// The rescale report as the service record reads it: the JSON parsed back,
// the PDF read back with poppler-utils, and failures that leave no files.

#include "app/RescaleReport.h"
#include "app/pdf_tools.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace
{

constexpr float oldK = 0.1f;
constexpr float newK = 1843.27f;

// The k-factors are widened from the sensor's floats, as the rescale hands them over.
RescaleReport sampleReport(const QString& backupFile)
{
    const Hvd::Weft::Communication::Device sensor{.name = "Orvik <b>&\"",
                                                  .version = "2.14",
                                                  .revision = "3",
                                                  .vendor = "Hvd",
                                                  .address = {{19, 0, 4, 0, 2}},
                                                  .subName = "FM-3",
                                                  .subVersion = "1.2"};
    return {.time = QDateTime(QDate(2024, 5, 17), QTime(14, 3, 12)),
            .port = "/dev/ttyUSB0",
            .sensor = sensor,
            .oldSizeName = "Orvik 82.5",
            .newSizeName = "Orvik 50",
            .sizeCode = "D1H",
            .innerDiameter = 50,
            .lengthUnit = "mm",
            .oldKFactor = oldK,
            .newKFactor = newK,
            .measuringRangeStart = 0,
            .measuringRangeEnd = 60.5,
            .flowUnit = "m³/h",
            .outputUnit = "m³",
            .temperatureUnit = "°C",
            .backupFile = backupFile};
}

using PdfTools::output;

// A line of pdfinfo's answer, e.g. "Pages: 1".
void expectInfo(const QString& pdf, const QString& key, const QString& value)
{
    const QRegularExpression line("^" + key + ": +" + QRegularExpression::escape(value) + "$",
                                  QRegularExpression::MultilineOption);
    const QString info = output("pdfinfo", {pdf});
    EXPECT_TRUE(line.match(info).hasMatch()) << info.toStdString();
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

TEST(RescaleReport, JsonReadsBackEveryFieldAndHtmlEscapesSensorText)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString backup = dir.filePath("backup 2024.json");
    const RescaleReport report = sampleReport(backup);
    QString error;
    const auto files = report.write(dir.filePath("rescale"), &error);
    ASSERT_TRUE(files) << error.toStdString();
    EXPECT_EQ(files->json, dir.filePath("rescale.report.json"));
    EXPECT_EQ(files->pdf, dir.filePath("rescale.report.pdf"));

    QFile file(files->json);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QJsonParseError parseError;
    const QJsonObject json = QJsonDocument::fromJson(text, &parseError).object();
    ASSERT_EQ(parseError.error, QJsonParseError::NoError) << parseError.errorString().toStdString();

    const QStringList keys{"backupFile", "innerDiameter", "kFactor", "measuringRange", "port",
                           "report",     "sensor",        "size",    "time",           "units"};
    EXPECT_EQ(json.keys(), keys);
    EXPECT_EQ(json["report"].toString(), "rescale");
    const QString time = json["time"].toString();
    EXPECT_TRUE(QRegularExpression("^2024-05-17T14:03:12[+-]\\d\\d:\\d\\d$").match(time).hasMatch())
        << time.toStdString();
    EXPECT_EQ(QDateTime::fromString(time, Qt::ISODate), report.time);
    EXPECT_EQ(json["port"].toString(), "/dev/ttyUSB0");

    EXPECT_EQ(json["sensor"].toObject(), (QJsonObject{{"name", "Orvik <b>&\""},
                                                      {"version", "2.14"},
                                                      {"revision", "3"},
                                                      {"vendor", "Hvd"},
                                                      {"address", "19.0.4.0.2"},
                                                      {"addressBytes", QJsonArray{19, 0, 4, 0, 2}},
                                                      {"subName", "FM-3"},
                                                      {"subVersion", "1.2"},
                                                      {"subRevision", "-"}}));

    EXPECT_EQ(json["size"].toObject(),
              (QJsonObject{{"code", "D1H"}, {"old", "Orvik 82.5"}, {"new", "Orvik 50"}}));
    EXPECT_EQ(json["innerDiameter"].toObject(), (QJsonObject{{"value", 50}, {"unit", "mm"}}));
    EXPECT_EQ(json["measuringRange"].toObject(),
              (QJsonObject{{"start", 0}, {"end", 60.5}, {"unit", "m³/h"}}));
    EXPECT_EQ(json["units"].toObject(),
              (QJsonObject{{"flow", "m³/h"}, {"output", "m³"}, {"temperature", "°C"}}));
    EXPECT_EQ(json["backupFile"].toString(), backup);

    // The sensor's floats come back exactly, written without double noise.
    const QJsonObject kFactor = json["kFactor"].toObject();
    ASSERT_TRUE(kFactor["old"].isDouble() && kFactor["new"].isDouble());
    EXPECT_EQ(static_cast<float>(kFactor["old"].toDouble()), oldK);
    EXPECT_EQ(static_cast<float>(kFactor["new"].toDouble()), newK);
    EXPECT_TRUE(QRegularExpression("\"old\": 0\\.1[,\\s]").match(text).hasMatch()) << text.toStdString();
    EXPECT_TRUE(QRegularExpression("\"new\": 1843\\.27[,\\s]").match(text).hasMatch()) << text.toStdString();

    // Sensor text is shown, never interpreted; the restore command pastes into a shell.
    const QString html = report.html();
    EXPECT_TRUE(html.contains("Orvik &lt;b&gt;&amp;&quot;")) << html.toStdString();
    EXPECT_FALSE(html.contains("<b>&")) << html.toStdString();
    EXPECT_TRUE(html.contains("orvik restore --port /dev/ttyUSB0 --file '" + backup + "'"))
        << html.toStdString();
}

TEST(RescaleReport, PdfIsOnePageWithTheKeyFactsEvenForOverlongSensorText)
{
    for (const char* tool : {"pdftotext", "pdfinfo"})
    {
        ASSERT_FALSE(QStandardPaths::findExecutable(tool).isEmpty())
            << tool << " is missing: run scripts/setup to install poppler-utils";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    RescaleReport report = sampleReport(dir.filePath("backup.json"));
    QString error;
    const auto files = report.write(dir.filePath("rescale"), &error);
    ASSERT_TRUE(files) << error.toStdString();

    QFile pdf(files->pdf);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5).startsWith("%PDF")) << "not a PDF";

    const QString text = output("pdftotext", {"-layout", files->pdf, "-"});
    for (const char* expected :
         {"Orvik rescale report", "Orvik <b>&\"", "19.0.4.0.2", "Orvik 50", "1843.27", "60.5"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected << " not in:\n"
                                                                << text.toStdString();
    expectInfo(files->pdf, "Pages", "1");
    expectInfo(files->pdf, "Title", "Rescale report");

    // A sensor name far beyond a page still gives one page, with the rest on it.
    report.sensor.name = QString("very long variant name ").repeated(600);
    const auto longFiles = report.write(dir.filePath("long"), &error);
    ASSERT_TRUE(longFiles) << error.toStdString();
    expectInfo(longFiles->pdf, "Pages", "1");
    EXPECT_TRUE(output("pdftotext", {longFiles->pdf, "-"}).contains("Orvik 50"));
}

TEST(RescaleReport, UnwritableTargetFailsNamingThePathAndLeavesNoFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const RescaleReport report = sampleReport(dir.filePath("backup.json"));
    QFile regular(dir.filePath("regular"));
    ASSERT_TRUE(regular.open(QIODevice::WriteOnly));
    regular.close();
    // The PDF's name is taken by a folder: the JSON, though writable, must not stay alone.
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.report.pdf"));
    const QStringList before = entries(dir.path());

    for (const QString& base :
         {dir.filePath("missing/rescale"), dir.filePath("regular/rescale"), dir.filePath("taken")})
    {
        QString error;
        EXPECT_FALSE(report.write(base, &error)) << base.toStdString();
        EXPECT_TRUE(error.contains(base)) << error.toStdString();
        EXPECT_EQ(entries(dir.path()), before) << base.toStdString();
        EXPECT_TRUE(entries(dir.filePath("taken.report.pdf")).isEmpty());
    }
}
