// The help manuals the build renders beside the program: both there, paged,
// each in its own language, with the window's screenshots in them; and every
// message of the program they quote is one the program still has, so that
// they print it as the program shows it.

#include "app/pdf_tools.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace
{

using PdfTools::output;

QString readText(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return QString::fromUtf8(file.readAll());
}

struct Manual
{
    const char* file;
    QStringList headings;
    // Headings of the other language, which must not be in this one.
    QStringList foreign;
};

TEST(HelpManual, BothManualsLieBesideTheProgramPagedInTheirLanguageWithTheScreenshots)
{
    for (const char* tool : {"pdftotext", "pdfinfo", "pdfimages"})
    {
        ASSERT_FALSE(QStandardPaths::findExecutable(tool).isEmpty())
            << tool << " is missing: run scripts/setup to install poppler-utils";
    }
    const QStringList english = {"1. What the tool does",     "2. Connecting the interface adapter",
                                 "3. Choosing the pipe size", "6. Messages and what to do",
                                 "7. Backups and reports",    "8. The log file",
                                 "9. The command line orvik"};
    const QStringList german = {"1. Was das Programm tut",     "2. Schnittstellenadapter anschließen",
                                "3. Rohrgröße wählen",         "6. Meldungen und was zu tun ist",
                                "7. Sicherungen und Berichte", "8. Die Protokolldatei",
                                "9. Die Kommandozeile orvik"};
    const QDir programDir(QCoreApplication::applicationDirPath());
    for (const Manual& manual :
         {Manual{"OrvikRescaler.pdf", english, german}, Manual{"OrvikRescaler_de.pdf", german, english}})
    {
        SCOPED_TRACE(manual.file);
        const QString pdf = programDir.absoluteFilePath(manual.file);
        ASSERT_TRUE(QFile::exists(pdf));

        const QString info = output("pdfinfo", {pdf});
        const auto pages =
            QRegularExpression("^Pages: +(\\d+)$", QRegularExpression::MultilineOption).match(info);
        ASSERT_TRUE(pages.hasMatch()) << info.toStdString();
        EXPECT_GE(pages.captured(1).toInt(), 4);
        EXPECT_TRUE(info.contains(QRegularExpression("Page size: .*\\(A4\\)"))) << info.toStdString();

        // Compatibility forms: the PDF sets "fi" as one ligature glyph.
        const QString text = output("pdftotext", {pdf, "-"}).normalized(QString::NormalizationForm_KC);
        for (const QString& heading : manual.headings)
            EXPECT_TRUE(text.contains(heading)) << heading.toStdString();
        for (const QString& heading : manual.foreign)
            EXPECT_FALSE(text.contains(heading)) << heading.toStdString();
        // Every quoted message was filled in, none left as its source form
        // or with the program's blanks.
        EXPECT_FALSE(text.contains("{{"));
        EXPECT_FALSE(text.contains(QRegularExpression("%[1-9]")));
        // The footer's page number.
        EXPECT_TRUE(text.contains(QRegularExpression("\\n2\\n"))) << "no page numbers";

        // One row per embedded picture after the two header lines: the four
        // screenshots of the window.
        const QStringList images = output("pdfimages", {"-list", pdf}).split('\n', Qt::SkipEmptyParts).mid(2);
        EXPECT_GE(images.size(), 4);
        for (const QString& image : images)
            EXPECT_TRUE(image.contains(QRegularExpression("\\bimage +\\d{3,} +\\d{3,} ")))
                << image.toStdString();
    }
}

// The source files of the program's user-visible texts, each with its adjacent
// string literals joined, as the compiler joins them.
QMap<QString, QString> programSources()
{
    QMap<QString, QString> sources;
    static const QRegularExpression adjacent("\"\\s*\\n\\s*\"");
    for (const char* folder : {"app", "components", "communication"})
    {
        QDirIterator files(QStringLiteral(ORVIK_SOURCE_DIR "/") + folder, {"*.cpp", "*.h", "*.ui"},
                           QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext())
        {
            const QString path = files.next();
            sources.insert(path, readText(path).replace(adjacent, QString()));
        }
    }
    return sources;
}

TEST(HelpManual, EveryMessageTheManualsQuoteIsOneTheProgramShowsInThatContext)
{
    const QMap<QString, QString> sources = programSources();
    ASSERT_FALSE(sources.isEmpty());
    static const QRegularExpression quoted("\\{\\{([^|}]+)\\|([^}]+)\\}\\}");
    int checked = 0;
    for (const char* name : {"OrvikRescaler.html", "OrvikRescaler_de.html"})
    {
        const QString manual = readText(QStringLiteral(ORVIK_SOURCE_DIR "/tools/help-manual/") + name);
        for (auto match = quoted.globalMatch(manual); match.hasNext();)
        {
            const auto message = match.next();
            const QString context = message.captured(1);
            const QString text = message.captured(2);
            // The class the text is translated for, named in the file that holds it.
            const QString className = context.section("::", -1);
            const QString literal = '"' + QString(text).replace('"', "\\\"") + '"';
            const QString formText = "<string>" + text.toHtmlEscaped() + "</string>";
            bool found = false;
            for (auto source = sources.begin(); source != sources.end() && !found; ++source)
            {
                const bool form = source.key().endsWith(".ui");
                found = source.value().contains(form ? formText : literal) &&
                        (form ? QFileInfo(source.key()).baseName() == className
                              : source.value().contains(className));
            }
            EXPECT_TRUE(found) << name << ": " << context.toStdString() << " | " << text.toStdString();
            ++checked;
        }
    }
    EXPECT_GT(checked, 40);
}

} // namespace
