#include "app/RescaleReport.h"

#include "app/SensorBackup.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextDocument>
#include <QTextOption>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

namespace
{

// The fewest digits that read back to the same single-precision value: the
// sensor stores floats, and their double widening (0.1f = 0.10000000149...)
// would only show noise. Values a float cannot hold are left as doubles.
QString floatText(double value)
{
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
        return QString::number(value, 'g', QLocale::FloatingPointShortest);
    std::array<char, 32> digits{};
    const auto result =
        std::to_chars(digits.data(), digits.data() + digits.size(), static_cast<float>(value));
    return QString::fromLatin1(digits.data(), result.ptr - digits.data());
}

// The double whose shortest text is floatText(value), so the JSON shows the
// same digits as the PDF and a reader's float conversion gives the sensor's value.
double asSensorFloat(double value)
{
    const QByteArray text = floatText(value).toLatin1();
    double parsed = 0;
    const auto result = std::from_chars(text.constData(), text.constData() + text.size(), parsed);
    return result.ec == std::errc() ? parsed : value;
}

// ISO 8601 local time with its offset, built by hand so that a zero offset
// reads "+00:00" like every other one.
QString isoTime(const QDateTime& time)
{
    if (!time.isValid())
        return {};
    const QDateTime local = time.toLocalTime();
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return QLocale::c().toString(local, QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")) +
           (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QChar(u'0'))
               .arg(minutes % 60, 2, 10, QChar(u'0'));
}

QString addressText(const Hvd::Weft::Communication::Address& address)
{
    return address.getAddressAsString(address.bytes).join(u'.');
}

QString orDash(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}

QString cannotWrite(const QString& fileName, const QString& reason)
{
    return QCoreApplication::translate("RescaleReport", "Cannot write the rescale report %1: %2")
        .arg(QDir::toNativeSeparators(fileName), reason);
}

std::optional<QByteArray> renderPdf(const QString& html, QString* reason)
{
    // Fonts and the text layout exist only with a GUI application; without
    // one Qt would abort instead of failing.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    {
        *reason =
            QCoreApplication::translate("RescaleReport", "the PDF needs a graphical application object");
        return std::nullopt;
    }

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(300);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
    writer.setTitle(QStringLiteral("Rescale report"));
    writer.setCreator(QStringLiteral("OrvikRescaler"));

    QTextDocument document;
    // Point sizes are laid out at the writer's resolution, not the screen's.
    document.documentLayout()->setPaintDevice(&writer);
    QFont font(QStringLiteral("DejaVu Sans"), 10);
    font.setStyleHint(QFont::SansSerif);
    // No ligatures: "ﬁle" would not be found when searching the PDF for "file".
    font.setStyleStrategy(QFont::PreferNoShaping);
    document.setDefaultFont(font);
    // Paths have no spaces to break at; they must not run off the page.
    QTextOption option = document.defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document.setDefaultTextOption(option);
    document.setHtml(html);

    // One page always: an overlong text from the sensor shrinks the page
    // rather than spilling onto a second one or being cut off. A smaller
    // scale lays out wider and so shorter; search the largest that fits.
    const QRectF page = writer.pageLayout().paintRectPixels(writer.resolution());
    const auto fits = [&](qreal candidate)
    {
        document.setTextWidth(page.width() / candidate);
        return document.size().height() * candidate <= page.height();
    };
    qreal scale = 1;
    if (!fits(scale))
    {
        qreal low = page.height() / document.size().height(); // fits: wider is never taller
        for (int step = 0; step < 10; ++step)
        {
            const qreal middle = (low + scale) / 2;
            if (fits(middle))
                low = middle;
            else
                scale = middle;
        }
        scale = low;
        fits(scale);
    }

    QPainter painter;
    if (!painter.begin(&writer))
    {
        *reason = QCoreApplication::translate("RescaleReport", "the PDF could not be started");
        return std::nullopt;
    }
    painter.scale(scale, scale);
    document.drawContents(&painter);
    if (!painter.end() || bytes.isEmpty())
    {
        *reason = QCoreApplication::translate("RescaleReport", "the PDF could not be finished");
        return std::nullopt;
    }
    return bytes;
}

} // namespace

QJsonObject RescaleReport::toJson() const
{
    QJsonArray addressBytes;
    for (const std::uint8_t byte : sensor.address.bytes)
        addressBytes.append(static_cast<int>(byte));

    return QJsonObject{
        {QStringLiteral("report"), QStringLiteral("rescale")},
        {QStringLiteral("time"), isoTime(time)},
        {QStringLiteral("port"), port},
        {QStringLiteral("sensor"),
         QJsonObject{
             {QStringLiteral("name"), orDash(sensor.name)},
             {QStringLiteral("version"), orDash(sensor.version)},
             {QStringLiteral("revision"), orDash(sensor.revision)},
             {QStringLiteral("vendor"), orDash(sensor.vendor)},
             {QStringLiteral("address"), addressText(sensor.address)},
             {QStringLiteral("addressBytes"), addressBytes},
             {QStringLiteral("subName"), orDash(sensor.subName)},
             {QStringLiteral("subVersion"), orDash(sensor.subVersion)},
             {QStringLiteral("subRevision"), orDash(sensor.subRevision)},
         }},
        {QStringLiteral("size"),
         QJsonObject{
             {QStringLiteral("code"), sizeCode},
             {QStringLiteral("old"), oldSizeName},
             {QStringLiteral("new"), newSizeName},
         }},
        {QStringLiteral("innerDiameter"),
         QJsonObject{{QStringLiteral("value"), innerDiameter}, {QStringLiteral("unit"), lengthUnit}}},
        {QStringLiteral("kFactor"),
         QJsonObject{
             {QStringLiteral("old"), asSensorFloat(oldKFactor)},
             {QStringLiteral("new"), asSensorFloat(newKFactor)},
         }},
        {QStringLiteral("measuringRange"),
         QJsonObject{
             {QStringLiteral("start"), measuringRangeStart},
             {QStringLiteral("end"), measuringRangeEnd},
             {QStringLiteral("unit"), flowUnit},
         }},
        {QStringLiteral("units"),
         QJsonObject{
             {QStringLiteral("flow"), flowUnit},
             {QStringLiteral("output"), outputUnit},
             {QStringLiteral("temperature"), temperatureUnit},
         }},
        {QStringLiteral("backupFile"), backupFile},
    };
}

QString RescaleReport::html() const
{
    const auto withUnit = [](double value, const QString& unit) { return floatText(value) + u' ' + unit; };
    QString time = isoTime(this->time);
    time.replace(u'T', u' ');

    // Marked here so lupdate finds the labels; translated when shown.
    const std::pair<const char*, QString> rows[] = {
        {QT_TRANSLATE_NOOP("RescaleReport", "Time"), orDash(time)},
        {QT_TRANSLATE_NOOP("RescaleReport", "Port"), orDash(port)},
        {QT_TRANSLATE_NOOP("RescaleReport", "Sensor"), orDash(sensor.name)},
        {QT_TRANSLATE_NOOP("RescaleReport", "Version"), orDash(sensor.version)},
        {QT_TRANSLATE_NOOP("RescaleReport", "Revision"), orDash(sensor.revision)},
        {QT_TRANSLATE_NOOP("RescaleReport", "Vendor"), orDash(sensor.vendor)},
        {QT_TRANSLATE_NOOP("RescaleReport", "Address"), addressText(sensor.address)},
        {QT_TRANSLATE_NOOP("RescaleReport", "Sub-device"), orDash(sensor.subName)},
        {QT_TRANSLATE_NOOP("RescaleReport", "Sub-device version"), orDash(sensor.subVersion)},
        {QT_TRANSLATE_NOOP("RescaleReport", "Sub-device revision"), orDash(sensor.subRevision)},
        {QT_TRANSLATE_NOOP("RescaleReport", "Size before"), orDash(oldSizeName)},
        {QT_TRANSLATE_NOOP("RescaleReport", "Size after"), orDash(newSizeName)},
        {QT_TRANSLATE_NOOP("RescaleReport", "Size code"), orDash(sizeCode)},
        {QT_TRANSLATE_NOOP("RescaleReport", "Inner diameter"), withUnit(innerDiameter, lengthUnit)},
        {QT_TRANSLATE_NOOP("RescaleReport", "K-factor before"), floatText(oldKFactor)},
        {QT_TRANSLATE_NOOP("RescaleReport", "K-factor after"), floatText(newKFactor)},
        {QT_TRANSLATE_NOOP("RescaleReport", "Measuring range"),
         floatText(measuringRangeStart) + QStringLiteral(" to ") + withUnit(measuringRangeEnd, flowUnit)},
        {QT_TRANSLATE_NOOP("RescaleReport", "Output unit"), orDash(outputUnit)},
        {QT_TRANSLATE_NOOP("RescaleReport", "Temperature unit"), orDash(temperatureUnit)},
        {QT_TRANSLATE_NOOP("RescaleReport", "Backup file"), orDash(backupFile)},
    };

    QString text =
        QStringLiteral("<h2>%1</h2>\n"
                       "<table width=\"100%\" border=\"1\" cellspacing=\"0\" cellpadding=\"4\" "
                       "style=\"border-collapse: collapse; border-color: #808080;\">\n")
            .arg(QCoreApplication::translate("RescaleReport", "Orvik rescale report").toHtmlEscaped());
    for (const auto& [label, value] : rows)
    {
        text += QStringLiteral("<tr><td width=\"30%\"><b>%1</b></td><td>%2</td></tr>\n")
                    .arg(QCoreApplication::translate("RescaleReport", label).toHtmlEscaped(),
                         value.toHtmlEscaped());
    }
    text += QStringLiteral("</table>\n");

    if (backupFile.isEmpty())
    {
        text += QStringLiteral("<p>%1</p>\n")
                    .arg(QCoreApplication::translate("RescaleReport",
                                                     "No backup file was recorded for this change.")
                             .toHtmlEscaped());
    }
    else
    {
        const QString command = SensorBackup::restoreCommand(port, backupFile);
        text += QStringLiteral("<p>%1<br/><tt>%2</tt></p>\n")
                    .arg(QCoreApplication::translate("RescaleReport", "The backup file undoes this change:")
                             .toHtmlEscaped(),
                         command.toHtmlEscaped());
    }
    return text;
}

std::optional<RescaleReport::Files> RescaleReport::write(const QString& basePath, QString* error) const
{
    const auto fail = [error](const QString& text) -> std::optional<Files>
    {
        if (error)
            *error = text;
        return std::nullopt;
    };

    const Files files{basePath + QStringLiteral(".report.json"), basePath + QStringLiteral(".report.pdf")};
    if (basePath.isEmpty() || basePath.endsWith(u'/'))
        return fail(
            cannotWrite(files.json, QCoreApplication::translate("RescaleReport", "no file name was given")));
    const QString folder = QFileInfo(files.json).absolutePath();
    if (!QFileInfo(folder).isDir())
        return fail(cannotWrite(files.json,
                                QCoreApplication::translate("RescaleReport", "%1 is not an existing folder")
                                    .arg(QDir::toNativeSeparators(folder))));

    // Everything is rendered before the first byte reaches the disk.
    QString reason;
    const std::optional<QByteArray> pdf = renderPdf(html(), &reason);
    if (!pdf)
        return fail(cannotWrite(files.pdf, reason));
    const QByteArray json = QJsonDocument(toJson()).toJson(QJsonDocument::Indented);

    // Both files are complete in their temporary copies before either takes
    // its name; an uncommitted QSaveFile removes its copy.
    QSaveFile jsonFile(files.json);
    QSaveFile pdfFile(files.pdf);
    for (const auto& [file, bytes] : {std::pair{&jsonFile, &json}, std::pair{&pdfFile, &*pdf}})
    {
        if (!file->open(QIODevice::WriteOnly) || file->write(*bytes) != bytes->size())
            return fail(cannotWrite(file->fileName(), file->errorString()));
    }
    if (!jsonFile.commit())
        return fail(cannotWrite(files.json, jsonFile.errorString()));
    if (!pdfFile.commit())
    {
        const QString pdfReason = pdfFile.errorString();
        QFile::remove(files.json);
        return fail(cannotWrite(files.pdf, pdfReason));
    }
    return files;
}
