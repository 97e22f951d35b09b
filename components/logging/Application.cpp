#include "components/logging/Application.h"

#include "logging/Logger.h"
#include "logging/TypeName.h"

#include <QLocale>
#include <QStyleFactory>
#include <QThread>
#include <QTranslator>

#include <exception>

namespace Hvd::Weft::Components
{

void logToLogger(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (Logger::isInitialized())
    {
        const std::string text = qFormatLogMessage(type, context, message).toStdString();
        switch (type)
        {
        case QtDebugMsg:
            Logger::debug("{}", text);
            break;
        case QtInfoMsg:
            Logger::info("{}", text);
            break;
        case QtWarningMsg:
            Logger::warn("{}", text);
            break;
        case QtCriticalMsg:
            Logger::error("{}", text);
            break;
        case QtFatalMsg:
            Logger::critical("{}", text);
            break;
        }
    }
    if (Application::mPreviousHandler)
        Application::mPreviousHandler(type, context, message);
}

Application::Application(int& argc, char** argv, const char* applicationName)
    : QApplication(argc, argv)
{
    setOrganizationName(organizationNameText);
    setOrganizationDomain(organizationDomainText);
    setApplicationName(applicationName);
    thread()->setObjectName(mainThreadName);
    mPreviousHandler = qInstallMessageHandler(logToLogger);
    setStyle(QStyleFactory::create(styleName));
}

Application::~Application()
{
    qInstallMessageHandler(nullptr);
    mPreviousHandler = nullptr;
}

void Application::setupTranslator(const char* name, const char* directory)
{
    auto* translator = new QTranslator(this);
    if (!translator->load(QLocale(), name, "_", directory, ".qm"))
    {
        Logger::warn("Could not load translation files for locale {}", QLocale().name().toStdString());
        translator->deleteLater();
    }
    else if (!installTranslator(translator))
    {
        Logger::warn("Could not install translator");
        translator->deleteLater();
    }
}

QTranslator* Application::installEmbeddedTranslator(const char* name)
{
    // The libraries' texts are written in English: nothing to look for or to
    // warn about.
    const QLocale::Language language = QLocale().language();
    if (language == QLocale::English || language == QLocale::C)
        return nullptr;
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(), name, "_", embeddedTranslationDirectory, ".qm"))
    {
        Logger::warn("Could not load the embedded translation {} for locale {}", name,
                     QLocale().name().toStdString());
        delete translator;
        return nullptr;
    }
    if (!QCoreApplication::installTranslator(translator))
    {
        Logger::warn("Could not install translator {}", name);
        delete translator;
        return nullptr;
    }
    return translator;
}

int Application::installLibraryCatalogues()
{
    int installed = 0;
    for (const char* catalogue : libraryCatalogues)
    {
        if (installEmbeddedTranslator(catalogue))
            ++installed;
    }
    return installed;
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try
    {
        return QApplication::notify(receiver, event);
    }
    catch (const std::exception& e)
    {
        if (Logger::isInitialized())
            Logger::error("Closing application, exception sending event {} to object {} ({}): {}",
                          typeName(typeid(*event)), receiver->objectName().toStdString(),
                          typeName(typeid(*receiver)), e.what());
        Logger::shutdown();
        qCritical("Error occurred, closing application");
        throw;
    }
    catch (...)
    {
        if (Logger::isInitialized())
            Logger::error("Closing application, unknown error sending event {} to object {} ({})",
                          typeName(typeid(*event)), receiver->objectName().toStdString(),
                          typeName(typeid(*receiver)));
        Logger::shutdown();
        qCritical("Unknown error occurred, closing application");
        throw;
    }
}

} // namespace Hvd::Weft::Components
