// Renders the help manuals, English and German, into the PDFs the window's
// Help opens, with screenshots of the real window taken offscreen under each
// language's translation.
//
//   orvik-help-manual SOURCE_DIR OUTPUT_DIR
//
// SOURCE_DIR holds OrvikRescaler.html, OrvikRescaler_de.html and their
// stylesheet manual.css; OUTPUT_DIR, the folder of the executables, holds
// Resources/ and translations/ and receives OrvikRescaler.pdf and
// OrvikRescaler_de.pdf.

#include "app/OrvikRescaler.h"
#include "components/logging/Application.h"
#include "tools/help-manual/ManualRenderer.h"
#include "tools/help-manual/WindowTour.h"

#include <QDir>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>
#include <QTranslator>

#include <cstdio>

namespace
{

struct Language
{
    const char* suffix;
    QLocale locale;
};

// The catalogues the program installs: its own from translations/ and the
// ones the libraries embed.
int installTranslators(QCoreApplication& application, const QLocale& locale, const QString& translations)
{
    using Hvd::Weft::Components::Application;
    int installed = 0;
    auto* own = new QTranslator(&application);
    if (own->load(locale, QString::fromLatin1(OrvikRescaler::applicationNameText), QStringLiteral("_"),
                  translations, QStringLiteral(".qm")) &&
        QCoreApplication::installTranslator(own))
        ++installed;
    return installed + Application::installLibraryCatalogues();
}

void removeTranslators(QCoreApplication& application)
{
    for (auto* translator : application.findChildren<QTranslator*>(Qt::FindDirectChildrenOnly))
    {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

} // namespace

int main(int argc, char** argv)
{
    Hvd::Weft::Components::Application application(argc, argv, OrvikRescaler::applicationNameText);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3)
    {
        std::fprintf(stderr, "Usage: orvik-help-manual SOURCE_DIR OUTPUT_DIR\n");
        return 2;
    }
    const QDir sources(arguments.at(1));
    const QDir output(arguments.at(2));

    // The window saves its geometry when it closes: not into the settings
    // of whoever builds the program.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    // The window reads the schemas from Resources/ in the working directory.
    QDir::setCurrent(output.absolutePath());

    const Language languages[] = {{"", QLocale(QLocale::English, QLocale::UnitedStates)},
                                  {"_de", QLocale(QLocale::German, QLocale::Germany)}};
    for (const Language& language : languages)
    {
        QLocale::setDefault(language.locale);
        removeTranslators(application);
        if (language.locale.language() != QLocale::English &&
            installTranslators(application, language.locale,
                               output.filePath(QStringLiteral("translations"))) == 0)
            std::fprintf(stderr, "orvik-help-manual: no %s catalogue found, its screenshots stay English\n",
                         qPrintable(language.locale.name()));

        QString error;
        const auto shots = takeWindowTour(&error);
        const QString name = QStringLiteral("OrvikRescaler%1").arg(QLatin1String(language.suffix));
        if (shots.isEmpty() || !renderManual(sources.filePath(name + QStringLiteral(".html")),
                                             sources.filePath(QStringLiteral("manual.css")), shots,
                                             output.filePath(name + QStringLiteral(".pdf")), &error))
        {
            std::fprintf(stderr, "orvik-help-manual: %s: %s\n", qPrintable(name), qPrintable(error));
            return 1;
        }
    }
    return 0;
}
