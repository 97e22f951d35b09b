// The About dialog and its licence document, which has to name every Debian
// package whose library the built program loads.
#include "components/logging/Application.h"
#include "components/widgets/CopyrightDialog.h"
#include "components/widgets/LicenceDocument.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTextEdit>
#include <QTranslator>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <map>
#include <set>

using Hvd::Weft::Components::Application;
using Hvd::Weft::Components::CopyrightDialog;
using Hvd::Weft::Components::licenceDocument;

namespace
{

const QString headerStart = QStringLiteral("This software contains ");
const QString headerEnd = QStringLiteral(" under the following license:\n");
const QString sectionEnd = QStringLiteral("\n\n\n") + QString(50, '*') + QStringLiteral("\n\n");

struct Section
{
    QString name;
    QString text;
};

// Splits the document into its sections; a part that is not a well-formed
// section fails the calling test.
std::vector<Section> sectionsOf(const QString& document)
{
    std::vector<Section> sections;
    qsizetype at = 0;
    while (at < document.size())
    {
        const qsizetype end = document.indexOf(sectionEnd, at);
        if (end < 0)
        {
            ADD_FAILURE() << "text after the last section: " << document.mid(at, 200).toStdString();
            break;
        }
        const QString part = document.mid(at, end - at);
        const qsizetype nameEnd = part.indexOf(headerEnd);
        if (!part.startsWith(headerStart) || nameEnd < 0 || part.left(nameEnd).contains('\n'))
        {
            ADD_FAILURE() << "section without its heading: " << part.left(200).toStdString();
        }
        else
            sections.push_back({part.mid(headerStart.size(), nameEnd - headerStart.size()),
                                part.mid(nameEnd + headerEnd.size())});
        at = end + sectionEnd.size();
    }
    return sections;
}

// A copyright file as a section holds it: without trailing blank space, and
// alone or separated by an empty line from the other files of its section.
bool sectionHolds(const Section& section, const QString& text)
{
    const QString& t = section.text;
    return t == text || t.startsWith(text + "\n\n") || t.endsWith("\n\n" + text) ||
           t.contains("\n\n" + text + "\n\n");
}

QString trimmedAtEnd(QString text)
{
    static const QRegularExpression trailingSpace(QStringLiteral("\\s+$"));
    return text.remove(trailingSpace);
}

QString copyrightOf(const QString& package)
{
    QFile file("/usr/share/doc/" + package + "/copyright");
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return trimmedAtEnd(QString::fromUtf8(file.readAll()));
}

QString run(const QString& program, const QStringList& arguments, int& exitCode)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
    {
        exitCode = -1;
        return {};
    }
    exitCode = process.exitCode();
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// The same file under the merged /usr: Debian 12 registers some libraries
// under /lib, others under /usr/lib, while ldd and realpath show either.
QString otherPrefix(const QString& path)
{
    if (path.startsWith("/usr/lib"))
        return path.mid(4);
    if (path.startsWith("/lib"))
        return "/usr" + path;
    return path;
}

// Replaces the dialog's texts in its own translation context only.
class MarkingTranslator : public QTranslator
{
public:
    QString translate(const char* context, const char* source, const char*, int) const override
    {
        if (qstrcmp(context, "Hvd::Weft::Components::CopyrightDialog") != 0)
            return {};
        return "[" + QString::fromUtf8(source) + "]";
    }
    bool isEmpty() const override { return false; }
};

} // namespace

TEST(CopyrightDialog, ShowsNameVersionAndCopyrightAboveTheLicences)
{
    QWidget parent;
    CopyrightDialog dialog(&parent);
    EXPECT_EQ(dialog.objectName(), "CopyrightDialog");
    EXPECT_EQ(dialog.parentWidget(), &parent);
    EXPECT_EQ(dialog.size(), QSize(404, 300));
    EXPECT_EQ(dialog.windowFlags(), QDialog(&parent).windowFlags());
    EXPECT_EQ(dialog.windowTitle(), "About OrvikRescaler");

    auto* application = dialog.findChild<QLabel*>("application");
    auto* copyright = dialog.findChild<QLabel*>("copyright");
    auto* licenceLabel = dialog.findChild<QLabel*>("licenceLabel");
    auto* licenses = dialog.findChild<QTextEdit*>("licenses");
    auto* layout = qobject_cast<QVBoxLayout*>(dialog.layout());
    ASSERT_TRUE(application && copyright && licenceLabel && licenses && layout);
    EXPECT_EQ(layout->objectName(), "verticalLayout");
    ASSERT_EQ(layout->count(), 4);
    EXPECT_EQ(layout->itemAt(0)->widget(), application);
    EXPECT_EQ(layout->itemAt(1)->widget(), copyright);
    EXPECT_EQ(layout->itemAt(2)->widget(), licenceLabel);
    EXPECT_EQ(layout->itemAt(3)->widget(), licenses);

    EXPECT_EQ(application->text(), "OrvikRescaler V1.1.0-0-g7aecaff (260819)");
    EXPECT_EQ(copyright->text(), "Copyright © Halvard GmbH 2026");
    EXPECT_EQ(licenceLabel->text(), "This software uses the following open-source components:");
    for (QLabel* label : {application, copyright})
    {
        EXPECT_EQ(label->font().weight(), QFont::Bold);
        EXPECT_EQ(label->alignment(), Qt::AlignCenter);
    }
    EXPECT_EQ(licenceLabel->font().weight(), dialog.font().weight());
    EXPECT_EQ(licenceLabel->alignment(), QLabel().alignment());
    EXPECT_TRUE(licenses->isReadOnly());
}

TEST(CopyrightDialog, TranslatesItsOwnTextsButNotNameVersionOrYear)
{
    MarkingTranslator translator;
    QCoreApplication::installTranslator(&translator);
    CopyrightDialog dialog(nullptr);
    QCoreApplication::removeTranslator(&translator);

    EXPECT_EQ(dialog.windowTitle(), "[About ]OrvikRescaler");
    EXPECT_EQ(dialog.findChild<QLabel*>("application")->text(), "OrvikRescaler V1.1.0-0-g7aecaff (260819)");
    EXPECT_EQ(dialog.findChild<QLabel*>("copyright")->text(), "[Copyright © Halvard GmbH] 2026");
    EXPECT_EQ(dialog.findChild<QLabel*>("licenceLabel")->text(),
              "[This software uses the following open-source components:]");

    // The library's own German catalogue, as the program installs it.
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QTranslator* german = Application::installEmbeddedTranslator("OrvikComponents");
    QLocale::setDefault(previous);
    ASSERT_NE(german, nullptr);
    CopyrightDialog inGerman(nullptr);
    QCoreApplication::removeTranslator(german);
    delete german;
    EXPECT_EQ(inGerman.windowTitle(), "Über OrvikRescaler");
    EXPECT_EQ(inGerman.findChild<QLabel*>("application")->text(), "OrvikRescaler V1.1.0-0-g7aecaff (260819)");
    EXPECT_EQ(inGerman.findChild<QLabel*>("copyright")->text(), "Copyright © Halvard GmbH 2026");
    EXPECT_EQ(inGerman.findChild<QLabel*>("licenceLabel")->text(),
              "Diese Software verwendet die folgenden Open-Source-Komponenten:");
}

TEST(CopyrightDialog, ShowsTheLicencesAsPlainText)
{
    CopyrightDialog dialog(nullptr);
    const QString shown = dialog.findChild<QTextEdit*>("licenses")->document()->toPlainText();
    // Read as HTML or Markdown, the e-mail addresses in angle brackets, the
    // asterisk rules and the line breaks would not survive.
    EXPECT_EQ(shown, licenceDocument());
    EXPECT_TRUE(shown.contains("This software contains spdlog under the following license:\n"));
    EXPECT_TRUE(shown.contains("\n" + QString(50, '*') + "\n"));
    EXPECT_TRUE(shown.contains("<tristan@tristanpenman.com>"));
}

TEST(LicenceDocument, SectionsInTheirOrderEachWithItsCopyrightFiles)
{
    const QString document = licenceDocument();
    ASSERT_FALSE(document.isEmpty());
    // Anything but UTF-8 in a copyright file would show as replacement characters.
    EXPECT_FALSE(document.contains(QChar::ReplacementCharacter));

    const std::vector<Section> sections = sectionsOf(document);
    const QStringList leading = {"nlohmann-json",
                                 "valijson",
                                 "spdlog",
                                 "fmt",
                                 "the GNU C Library",
                                 "the GNU C++ Library",
                                 "the GCC support library",
                                 "Qt",
                                 "Qt-Thirdparty"};
    ASSERT_GE(sections.size(), std::size_t(leading.size()));
    std::set<QString> names;
    for (std::size_t i = 0; i < sections.size(); ++i)
    {
        const Section& section = sections[i];
        if (i < std::size_t(leading.size()))
        {
            EXPECT_EQ(section.name, leading[qsizetype(i)]);
        }
        EXPECT_TRUE(names.insert(section.name).second) << "twice: " << section.name.toStdString();
        EXPECT_FALSE(section.text.trimmed().isEmpty()) << section.name.toStdString();
    }

    // Spot checks that the text is the package's own file, whole.
    EXPECT_TRUE(sectionHolds(sections[2], copyrightOf("libspdlog1.10")));
    EXPECT_TRUE(sectionHolds(sections[4], copyrightOf("libc6")));
    EXPECT_TRUE(sectionHolds(sections[7], copyrightOf("libqt6core6")));
}

TEST(LicenceDocument, CoversThePackageOfEveryLibraryTheProgramLoads)
{
    const QString program = QDir(QCoreApplication::applicationDirPath()).filePath("OrvikRescaler");
    ASSERT_TRUE(QFileInfo(program).isExecutable()) << program.toStdString();

    int exitCode = 0;
    const QString linked = run("ldd", {program}, exitCode);
    ASSERT_EQ(exitCode, 0) << "ldd " << program.toStdString();

    // "libfoo.so.1 => /lib/x86_64-linux-gnu/libfoo.so.1 (0x...)", the loader
    // as "/lib64/ld-linux-x86-64.so.2 (0x...)"; the vDSO has no file.
    static const QRegularExpression mapped(
        QStringLiteral("^\\s*(\\S+)\\s+=>\\s+(.*?)\\s*(\\(0x[0-9a-f]+\\))?$"));
    static const QRegularExpression direct(QStringLiteral("^\\s*(/\\S+)\\s+\\(0x[0-9a-f]+\\)$"));
    QStringList libraries;
    for (const QString& line : linked.split('\n', Qt::SkipEmptyParts))
    {
        if (const auto match = mapped.match(line); match.hasMatch())
        {
            ASSERT_TRUE(match.captured(2).startsWith('/')) << "unresolved: " << line.toStdString();
            libraries << match.captured(2);
        }
        else if (const auto loader = direct.match(line); loader.hasMatch())
            libraries << loader.captured(1);
    }
    ASSERT_GT(libraries.size(), 10) << linked.toStdString();

    std::map<QString, QStringList> candidates;
    QStringList queried;
    for (const QString& library : libraries)
    {
        const QString real = QFileInfo(library).canonicalFilePath();
        QStringList paths = {library, otherPrefix(library), real, otherPrefix(real)};
        paths.removeAll(QString());
        paths.removeDuplicates();
        candidates[library] = paths;
        queried << paths;
    }
    queried.removeDuplicates();
    // dpkg fails for the paths it does not know and still answers the others.
    const QString owners = run("dpkg", QStringList{"-S"} + queried, exitCode);
    ASSERT_GE(exitCode, 0) << "dpkg -S did not run";

    // "libqt6core6:amd64: /usr/lib/x86_64-linux-gnu/libQt6Core.so.6"
    std::map<QString, QStringList> packagesOfPath;
    for (const QString& line : owners.split('\n', Qt::SkipEmptyParts))
    {
        const qsizetype colon = line.indexOf(": /");
        if (colon < 0 || line.startsWith("diversion "))
            continue;
        QStringList packages;
        for (const QString& owner : line.left(colon).split(", "))
            packages << owner.section(':', 0, 0);
        packagesOfPath[line.mid(colon + 2)] = packages;
    }

    std::map<QString, QString> libraryOfPackage;
    for (const QString& library : libraries)
    {
        QStringList packages;
        for (const QString& path : candidates[library])
            if (packages.isEmpty() && packagesOfPath.count(path))
                packages = packagesOfPath[path];
        // The loader may come without a package; every other library must
        // have one, or its licence is not known.
        if (packages.isEmpty() && !QFileInfo(library).fileName().startsWith("ld-linux"))
        {
            ADD_FAILURE() << "no package owns " << library.toStdString();
        }
        for (const QString& package : packages)
            libraryOfPackage.emplace(package, library);
    }

    const std::vector<Section> sections = sectionsOf(licenceDocument());
    QStringList uncovered;
    for (const auto& [package, library] : libraryOfPackage)
    {
        const QString text = copyrightOf(package);
        bool covered = false;
        for (const Section& section : sections)
            covered = covered || (!text.isEmpty() && sectionHolds(section, text));
        if (!covered)
            uncovered << package + " (" + QFileInfo(library).fileName() + ")";
    }
    EXPECT_TRUE(uncovered.isEmpty()) << "no section holds the copyright file of "
                                     << uncovered.join(", ").toStdString()
                                     << "; add them to cmake/LicenceComponents.cmake";
}
